#pragma once

#include <string>
#include <string_view>

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/ui/Controls.h"
#include "platform/ui/DialogUnits.h"

// The Qt backend's side of the shared headers: what a window handle is, how
// names are drawn, the dialogs' font. For the backend itself and for tests
// that drive the widgets.
namespace ui {

// What the Qt backend keeps of a control's window.
struct WindowLink {
    QPointer<QWidget> widget;
    // How the bytes last set were drawn: text read back unchanged gives
    // back those bytes.
    QString drawn;
    // The connections to the control object; cut when the window moves to
    // another object.
    std::vector<QMetaObject::Connection> connections;
};

// Names are kept as bytes; only what is drawn is decoded: the whole name as
// UTF-8 when it is valid UTF-8, else each byte as Latin-1. Two names can draw
// alike (UTF-8 "\xC3\xA4" and Latin-1 "\xE4" both draw as an a umlaut), so
// the controls never take a name's bytes back from what they drew.
QString DrawnName(std::string_view bytes);
// The bytes of text that only exists as Qt text (typed by the user, or a path
// from Qt's own file dialog): UTF-8, as Qt encodes file names.
std::string NameBytes(const QString& drawn);

// A dialog's base units for a Qt font.
BaseUnits DialogBaseUnits(const QFont& font);
// The dialogs' font: the desktop's sans font at the shell font's size.
QFont DialogFont();

}  // namespace ui

namespace ui::qt {

inline HUIWND HandleOf(QWidget* widget) { return reinterpret_cast<HUIWND>(widget); }

inline QWidget* WidgetOf(HUIWND window) { return reinterpret_cast<QWidget*>(window); }

inline QWidget* WidgetOf(const CWnd& window) { return WidgetOf(window.GetSafeHwnd()); }

inline QWidget* WidgetOf(const CDialog& dialog) { return WidgetOf(dialog.GetSafeHwnd()); }

// Null for no dialog: a control or box without an owner.
inline QWidget* WidgetOf(const CDialog* dialog) { return dialog != nullptr ? WidgetOf(*dialog) : nullptr; }

// The dialog's Qt window.
QDialog* DialogWindowOf(const CDialog& dialog);

// The dialog whose window this widget is; null for any other widget.
CDialog* DialogOf(QWidget* widget);

// The program's icon resource of this id, as CDialog::SetIcon shows it.
QIcon IconOf(int iconId);

}  // namespace ui::qt
