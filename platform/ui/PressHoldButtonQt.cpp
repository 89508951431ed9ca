#include "platform/ui/PressHoldButtonQt.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QVariant>

#include "platform/ui/QtGeometry.h"
#include "platform/ui/PostedMessage.h"
#include "platform/ui/QtAccess.h"

PressHoldButton::PressHoldButton(const QString& text, int controlId, QWidget* parent) : QPushButton(text, parent)
{
    setProperty("ctrlId", controlId);
}

int PressHoldButton::GetDlgCtrlID() const { return property("ctrlId").toInt(); }

void PressHoldButton::mousePressEvent(QMouseEvent* event)
{
    Post(kButtonPressMessage, *event);
    QPushButton::mousePressEvent(event);
}

void PressHoldButton::mouseReleaseEvent(QMouseEvent* event)
{
    Post(kButtonReleaseMessage, *event);
    QPushButton::mouseReleaseEvent(event);
}

void PressHoldButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt's default would call mousePressEvent and so report a press: draw
    // the button pressed, as for any press, without the report.
    QPushButton::mousePressEvent(event);
}

void PressHoldButton::Post(UINT message, const QMouseEvent& event)
{
    QWidget* parent = parentWidget();
    if (parent == nullptr || event.button() != Qt::LeftButton) {
        return;
    }
    const QPoint at = event.position().toPoint();
    QCoreApplication::postEvent(parent, new ui::PostedMessage(message, static_cast<WPARAM>(GetDlgCtrlID()),
                                                                static_cast<LPARAM>(PackPosition(at.x(), at.y()))));
}

void CPushButton::Create(const std::string& text, DWORD style, const RECT& rect, CDialog* parent, int id)
{
    auto* button = new PressHoldButton(ui::DrawnName(text), id, ui::qt::WidgetOf(parent));
    // The dialog decides what Enter does (it presses the focused button).
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button, [this] {
        if (onClicked) {
            onClicked();
        }
    });
    button->setGeometry(ui::qt::ToQRect(rect));
    Bind(ui::qt::HandleOf(button), id, style, text);
}
