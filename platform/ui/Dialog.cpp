#include "platform/ui/Dialog.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QResizeEvent>
#include <QUrl>
#include <QPushButton>
#include <QWindow>

#include "platform/ui/Names.h"
#include "platform/ui/PostedMessage.h"
#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

CDialog::CDialog(CDialog* parent) : QDialog(ui::qt::WidgetOf(parent)) {}

HUIWND CDialog::GetSafeHwnd() const { return ui::qt::HandleOf(const_cast<CDialog*>(this)); }

CDialog* ui::qt::DialogOf(QWidget* widget) { return qobject_cast<CDialog*>(widget); }

namespace {

QFont QtFontOf(const ui::TemplateFont& font)
{
    if (font.typeface == ui::kShellFont.typeface) {
        QFont shell = ui::DialogFont();
        shell.setPointSize(font.pointSize);
        return shell;
    }
    QFont named(QString::fromUtf8(font.typeface.data(), static_cast<qsizetype>(font.typeface.size())));
    named.setPointSize(font.pointSize);
    return named;
}

}  // namespace

void CDialog::SetTemplate(const ui::TemplateFont& templateFont, int width, int height)
{
    const QFont font = QtFontOf(templateFont);
    setFont(font);
    units_ = ui::DialogBaseUnits(font);
    const QSize size = ui::qt::ToQRect(ui::MapDialogRect(units_, 0, 0, width, height)).size();
    templateSize_ = SIZE{size.width(), size.height()};
    setMinimumSize(size);
    resize(size);
}

bool CDialog::SetWindowPos(ZOrder insertAfter, int x, int y, int width, int height, UINT flags)
{
    Qt::WindowFlags wanted = windowFlags();
    if ((flags & SWP_NOZORDER) == 0) {
        wanted.setFlag(Qt::WindowStaysOnTopHint, insertAfter == ZOrder::TopMost);
    }
    if (wanted != windowFlags()) {
        QWindow* native = windowHandle();
        if (native != nullptr && isVisible()) {
            // setWindowFlags would re-create the window, hidden, and a
            // hidden dialog ends its modal loop: change the level in place.
            overrideWindowFlags(wanted);
            native->setFlags(wanted);
        } else {
            setWindowFlags(wanted);
        }
    }
    if ((flags & SWP_NOMOVE) == 0) {
        move(x, y);
    }
    if ((flags & SWP_NOSIZE) == 0) {
        resize(width, height);
    }
    return true;
}

RECT CDialog::DialogRect(int x, int y, int width, int height) const
{
    return ui::MapDialogRect(units_, x, y, width, height);
}

bool CDialog::Create()
{
    if (!initialized_) {
        initialized_ = true;
        if (!OnInitDialog()) {
            return false;
        }
    }
    show();
    return true;
}

int CDialog::DoModal()
{
    if (!Create()) {
        return -1;
    }
    return exec();
}

void CDialog::EndDialog(int result)
{
    if (ending_) {
        return;
    }
    ending_ = true;
    DestroyWindow();
    done(result);
}

void CDialog::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    QCoreApplication::postEvent(this, new ui::PostedMessage(message, wParam, lParam));
}

bool CDialog::OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return false; }

bool CDialog::event(QEvent* event)
{
    if (const auto* message = dynamic_cast<const ui::PostedMessage*>(event); message != nullptr) {
        if (OnMessage(message->Message(), message->wParam, message->lParam)) {
            return true;
        }
    }
    return QDialog::event(event);
}

void CDialog::BeginWaitCursor() { setCursor(Qt::WaitCursor); }

void CDialog::EndWaitCursor() { unsetCursor(); }

void CDialog::SetWindowText(const std::string& text) { setWindowTitle(ui::DrawnName(text)); }

void CDialog::SetIcon(int iconId) { setWindowIcon(ui::qt::IconOf(iconId)); }

// Off Windows the program's resources are Qt's, an icon under its
// resource script's id.
QIcon ui::qt::IconOf(int iconId) { return QIcon(QStringLiteral(":/icon/%1.svg").arg(iconId)); }

void CDialog::ModifyStyle(DWORD remove, DWORD add)
{
    style_ = (style_ & ~remove) | add;
    Qt::WindowFlags frame = Qt::Dialog | Qt::CustomizeWindowHint;
    frame.setFlag(Qt::WindowTitleHint, (style_ & WS_CAPTION) != 0);
    frame.setFlag(Qt::WindowCloseButtonHint, (style_ & WS_SYSMENU) != 0);
    // The system menu is what lists maximising; a box that only closes has
    // no menu to show.
    frame.setFlag(Qt::WindowMaximizeButtonHint, (style_ & WS_MAXIMIZEBOX) != 0);
    frame.setFlag(Qt::WindowSystemMenuHint, (style_ & WS_MAXIMIZEBOX) != 0 && (style_ & WS_SYSMENU) != 0);
    frame.setFlag(Qt::WindowStaysOnTopHint, windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    setWindowFlags(frame);
}

void CDialog::DragAcceptFiles(bool accept) { setAcceptDrops(accept); }

RECT CDialog::GetWindowRect() const { return RECT{x(), y(), x() + width(), y() + height()}; }

bool CDialog::IsWindowVisible() const { return isVisible(); }

void CDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    OnSize(width(), height());
}

void CDialog::contextMenuEvent(QContextMenuEvent* event)
{
    // A control that takes the focus has a menu of its own, or none.
    const QWidget* under = childAt(event->pos());
    const bool background = under == nullptr || under->focusPolicy() == Qt::NoFocus;
    const QPoint at = event->globalPos();
    if (!background || !OnContextMenu(POINT{at.x(), at.y()})) {
        QDialog::contextMenuEvent(event);
    }
}

void CDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CDialog::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(ui::NameBytes(url.toLocalFile()));
        }
    }
    event->acceptProposedAction();
    OnDropFiles(paths);
}

void CDialog::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_F1:
        if (OnHelpInfo()) {
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            // A focused push button is the default one while it has the
            // focus: Enter presses it. Anywhere else Enter is OK.
            auto* button = qobject_cast<QPushButton*>(focusWidget());
            if (button != nullptr && isAncestorOf(button)) {
                if (button->isEnabled()) {
                    button->click();
                }
                return;
            }
            OnOK();
            return;
        }
        break;
    case Qt::Key_Escape:
        OnCancel();
        return;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void CDialog::closeEvent(QCloseEvent* event)
{
    // The close box is the cancel command; the dialog ends through EndDialog.
    event->ignore();
    if (!ending_) {
        OnCancel();
    }
}

void CDialog::reject()
{
    if (!ending_) {
        OnCancel();
    }
}

void CDialog::accept()
{
    if (!ending_) {
        OnOK();
    }
}
