#pragma once

#include <QIcon>
#include <QWidget>

#include "platform/ui/Controls.h"

// The Qt backend's side of a window handle: the handle is the window's
// widget under a name the shared headers can carry without Qt. For the
// backend itself and for tests that drive the widgets.
namespace ui::qt {

inline HUIWND HandleOf(QWidget* widget) { return reinterpret_cast<HUIWND>(widget); }

inline QWidget* WidgetOf(HUIWND window) { return reinterpret_cast<QWidget*>(window); }

inline QWidget* WidgetOf(const CWnd& window) { return WidgetOf(window.GetSafeHwnd()); }

inline QWidget* WidgetOf(const CDialog& dialog) { return WidgetOf(dialog.GetSafeHwnd()); }

// Null for no dialog: a control or box without an owner.
inline QWidget* WidgetOf(const CDialog* dialog) { return dialog != nullptr ? WidgetOf(*dialog) : nullptr; }

// The dialog whose window this widget is; null for any other widget.
CDialog* DialogOf(QWidget* widget);

// The program's icon resource of this id, as CDialog::SetIcon shows it.
QIcon IconOf(int iconId);

}  // namespace ui::qt
