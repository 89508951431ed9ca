// The driver over Qt: QTest's synthetic mouse and key events, sent to the
// widgets behind the controls.
#include "tests/support/UiDriver.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "platform/ui/QtAccess.h"

namespace uitest {
namespace {

// How long a wait sleeps at most before it looks again, for what changes
// without an event of the window's (a job's thread, the instrument).
constexpr int kLookAgainMs = 2;

QWidget* Widget(const CWnd& window) { return ui::qt::WidgetOf(window); }

struct Pressed {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

Pressed QtKey(Key key)
{
    switch (key) {
    case Key::Enter:
        return {Qt::Key_Return, Qt::NoModifier};
    case Key::Escape:
        return {Qt::Key_Escape, Qt::NoModifier};
    case Key::Up:
        return {Qt::Key_Up, Qt::NoModifier};
    case Key::Down:
        return {Qt::Key_Down, Qt::NoModifier};
    case Key::Tab:
        return {Qt::Key_Tab, Qt::NoModifier};
    case Key::BackTab:
        return {Qt::Key_Tab, Qt::ShiftModifier};
    case Key::Space:
        return {Qt::Key_Space, Qt::NoModifier};
    case Key::F1:
        return {Qt::Key_F1, Qt::NoModifier};
    }
    return {Qt::Key_unknown, Qt::NoModifier};
}

// The line's middle in the view's viewport, scrolled into view.
QPoint LineMiddle(QListView& view, int line)
{
    view.doItemsLayout();
    const QModelIndex index = view.model()->index(line, 0);
    view.scrollTo(index);
    return view.visualRect(index).center();
}

}  // namespace

void Pump() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound)
{
    const QDeadlineTimer deadline(bound.count());
    QTimer wake;
    wake.start(kLookAgainMs);
    QEventLoop loop;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done()) {
            return true;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void Click(const CWnd& window) { QTest::mouseClick(Widget(window), Qt::LeftButton); }

void Press(const CWnd& window) { QTest::mousePress(Widget(window), Qt::LeftButton); }

void Release(const CWnd& window) { QTest::mouseRelease(Widget(window), Qt::LeftButton); }

void ClickLine(const CListBox& list, int line)
{
    auto* view = qobject_cast<QListView*>(Widget(list));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, LineMiddle(*view, line));
}

void DoubleClickLine(const CListBox& list, int line)
{
    // A user's double-click is a click first; Qt's synthetic one is the second half only.
    auto* view = qobject_cast<QListView*>(Widget(list));
    const QPoint at = LineMiddle(*view, line);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

void ClickArrow(const CSpinButtonCtrl& spin, int direction)
{
    const QString name = direction > 0 ? QStringLiteral("up") : QStringLiteral("down");
    QTest::mouseClick(Widget(spin)->findChild<QToolButton*>(name), Qt::LeftButton);
}

void CloseUp(const CComboBox& box)
{
    auto* combo = qobject_cast<QComboBox*>(Widget(box));
    combo->showPopup();
    combo->hidePopup();
}

void PressKey(const CWnd& target, Key key)
{
    QWidget* widget = Widget(target);
    widget->setFocus(Qt::OtherFocusReason);
    const Pressed pressed = QtKey(key);
    QTest::keyClick(widget, pressed.key, pressed.modifiers);
}

void PressKey(const CDialog& dialog, Key key)
{
    QWidget* window = ui::qt::WidgetOf(dialog);
    QWidget* focused = window->focusWidget();
    const Pressed pressed = QtKey(key);
    QTest::keyClick(focused != nullptr ? focused : window, pressed.key, pressed.modifiers);
}

void TypeText(const CWnd& target, const std::string& text)
{
    QWidget* widget = Widget(target);
    widget->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(widget, QString::fromStdString(text));
}

void CloseBox(const CDialog& dialog) { ui::qt::DialogWindowOf(dialog)->close(); }

bool Activate(const CDialog& dialog)
{
    QDialog* window = ui::qt::DialogWindowOf(dialog);
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

bool IsTopMost(const CDialog& dialog)
{
    const QDialog* window = ui::qt::DialogWindowOf(dialog);
    const QWindow* native = window->windowHandle();
    return native != nullptr ? native->flags().testFlag(Qt::WindowStaysOnTopHint)
                             : window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

std::uintptr_t NativeWindow(const CDialog& dialog)
{
    return static_cast<std::uintptr_t>(ui::qt::DialogWindowOf(dialog)->winId());
}

}  // namespace uitest
