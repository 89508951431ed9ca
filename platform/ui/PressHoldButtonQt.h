#pragma once

#include <QPushButton>

#include "platform/ui/Controls.h"

// The Qt widget that draws a CPushButton and posts its press and release
// (Controls.h), in a header of its own so that a test can drive it without
// a dialog. The keyboard presses it without a report; a completed click
// still emits clicked().
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
