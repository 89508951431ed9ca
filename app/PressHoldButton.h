#pragma once

#include <QPushButton>
#include <cstdint>
#include <string>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"

// The two private messages a press-and-hold button posts to its parent:
// wParam is the button's control id, lParam the pointer position in the
// button's coordinates, x in the low 16 bits and y in the high 16, each cut
// to 16 bits.
inline constexpr UINT kButtonPressMessage = WM_APP + 3;
inline constexpr UINT kButtonReleaseMessage = WM_APP + 4;

// x and y packed as those messages carry them.
std::uint32_t PackPosition(int x, int y);

// A push button that also reports the moment the left mouse button goes
// down on it and the moment it comes up, so that its parent can act for as
// long as it is held. Both reports are posted to the parent's queue before
// the button's own handling of the event, never sent: the parent sees them
// after the current event, press always before its release. In every other
// way it is a plain push button: the keyboard presses it without a report,
// and a completed click still emits clicked().
class PressHoldButton : public QPushButton {
public:
    // The control id is kept in the "ctrlId" property, where the dialog's
    // controls keep theirs.
    PressHoldButton(const QString& text, int controlId, QWidget* parent);

    int GetDlgCtrlID() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // A double-click's second press is not reported; only its release is.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Post(UINT message, const QMouseEvent& event);
};

// The dialog's control object for a press-and-hold button: made like any
// push button of the dialog, drawn by a PressHoldButton.
class CPushButton : public CButton {
public:
    void Create(const std::string& text, DWORD style, const QRect& rect, QWidget* parent, int id);
};
