#include "platform/ui/Dialog.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMimeData>
#include <QResizeEvent>
#include <QUrl>
#include <QPushButton>
#include <QWindow>

#include "platform/ui/PostedMessage.h"
#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

namespace ui {

BaseUnits DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Rounded as the framework rounds: half the average of 26-letter halves.
    return BaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QFont DialogFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kShellFont.pointSize);
    return font;
}

// The dialog's Qt window: it hands the window system's events to the
// dialog's handlers.
class DialogWindow : public QDialog {
public:
    DialogWindow(CDialog& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}

    CDialog& Owner() const { return owner_; }

    DWORD style = 0;
    bool ending = false;
    bool initialized = false;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void reject() override;
    void accept() override;

private:
    CDialog& owner_;
};

}  // namespace ui

CDialog::CDialog(CDialog* parent) : window_(std::make_unique<ui::DialogWindow>(*this, ui::qt::WidgetOf(parent))) {}

CDialog::~CDialog() = default;

HUIWND CDialog::GetSafeHwnd() const { return ui::qt::HandleOf(window_.get()); }

QDialog* ui::qt::DialogWindowOf(const CDialog& dialog) { return static_cast<QDialog*>(WidgetOf(dialog)); }

CDialog* ui::qt::DialogOf(QWidget* widget)
{
    auto* window = dynamic_cast<ui::DialogWindow*>(widget);
    return window != nullptr ? &window->Owner() : nullptr;
}

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
    window_->setFont(font);
    units_ = ui::DialogBaseUnits(font);
    const QSize size = ui::qt::ToQRect(ui::MapDialogRect(units_, 0, 0, width, height)).size();
    templateSize_ = SIZE{size.width(), size.height()};
    window_->setMinimumSize(size);
    window_->resize(size);
}

bool CDialog::SetWindowPos(ZOrder insertAfter, int x, int y, int width, int height, UINT flags)
{
    QDialog& window = *window_;
    Qt::WindowFlags wanted = window.windowFlags();
    if ((flags & SWP_NOZORDER) == 0) {
        wanted.setFlag(Qt::WindowStaysOnTopHint, insertAfter == ZOrder::TopMost);
    }
    if (wanted != window.windowFlags()) {
        QWindow* native = window.windowHandle();
        if (native != nullptr && window.isVisible()) {
            // setWindowFlags would re-create the window, hidden, and a
            // hidden dialog ends its modal loop: change the level in place.
            window.overrideWindowFlags(wanted);
            native->setFlags(wanted);
        } else {
            window.setWindowFlags(wanted);
        }
    }
    if ((flags & SWP_NOMOVE) == 0) {
        window.move(x, y);
    }
    if ((flags & SWP_NOSIZE) == 0) {
        window.resize(width, height);
    }
    return true;
}

RECT CDialog::DialogRect(int x, int y, int width, int height) const
{
    return ui::MapDialogRect(units_, x, y, width, height);
}

bool CDialog::Create()
{
    if (!window_->initialized) {
        window_->initialized = true;
        if (!OnInitDialog()) {
            return false;
        }
    }
    window_->show();
    return true;
}

int CDialog::DoModal()
{
    if (!Create()) {
        return -1;
    }
    return window_->exec();
}

void CDialog::EndDialog(int result)
{
    if (window_->ending) {
        return;
    }
    window_->ending = true;
    result_ = result;
    DestroyWindow();
    window_->done(result);
}

void CDialog::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    QCoreApplication::postEvent(window_.get(), new ui::PostedMessage(message, wParam, lParam));
}

void CDialog::PostCall(std::function<void()> call)
{
    // Queued to the dialog's window: dropped with it if the window goes first.
    QMetaObject::invokeMethod(window_.get(), std::move(call), Qt::QueuedConnection);
}

bool CDialog::OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return false; }

void CDialog::BeginWaitCursor() { window_->setCursor(Qt::WaitCursor); }

void CDialog::EndWaitCursor() { window_->unsetCursor(); }

void CDialog::SetWindowText(const std::string& text) { window_->setWindowTitle(ui::DrawnName(text)); }

void CDialog::SetIcon(int iconId) { window_->setWindowIcon(ui::qt::IconOf(iconId)); }

// Off Windows the program's resources are Qt's, an icon under its
// resource script's id. They are compiled into this static library, whose
// resources are registered by hand.
static void RegisterProgramResources() { Q_INIT_RESOURCE(ProgramResourcesQt); }

QIcon ui::qt::IconOf(int iconId)
{
    RegisterProgramResources();
    return QIcon(QStringLiteral(":/icon/%1.svg").arg(iconId));
}

void CDialog::ModifyStyle(DWORD remove, DWORD add)
{
    DWORD& style = window_->style;
    style = (style & ~remove) | add;
    Qt::WindowFlags frame = Qt::Dialog | Qt::CustomizeWindowHint;
    frame.setFlag(Qt::WindowTitleHint, (style & WS_CAPTION) != 0);
    frame.setFlag(Qt::WindowCloseButtonHint, (style & WS_SYSMENU) != 0);
    // The system menu is what lists maximising; a box that only closes has
    // no menu to show.
    frame.setFlag(Qt::WindowMaximizeButtonHint, (style & WS_MAXIMIZEBOX) != 0);
    frame.setFlag(Qt::WindowSystemMenuHint, (style & WS_MAXIMIZEBOX) != 0 && (style & WS_SYSMENU) != 0);
    frame.setFlag(Qt::WindowStaysOnTopHint, window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    window_->setWindowFlags(frame);
}

// Qt leaves the title bar's menu to the window manager: the program cannot
// add to it.
bool CDialog::AppendSystemMenu(UINT /*id*/, const std::string& /*text*/) { return false; }

void CDialog::DragAcceptFiles(bool accept) { window_->setAcceptDrops(accept); }

RECT CDialog::GetWindowRect() const
{
    const QDialog& window = *window_;
    return RECT{window.x(), window.y(), window.x() + window.width(), window.y() + window.height()};
}

bool CDialog::IsWindowVisible() const { return window_->isVisible(); }

namespace ui {

bool DialogWindow::event(QEvent* event)
{
    if (const auto* message = dynamic_cast<const PostedMessage*>(event); message != nullptr) {
        if (owner_.OnMessage(message->Message(), message->wParam, message->lParam)) {
            return true;
        }
    }
    return QDialog::event(event);
}

void DialogWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    owner_.OnSize(width(), height());
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    // A control that takes the focus has a menu of its own, or none.
    const QWidget* under = childAt(event->pos());
    const bool background = under == nullptr || under->focusPolicy() == Qt::NoFocus;
    const QPoint at = event->globalPos();
    if (!background || !owner_.OnContextMenu(POINT{at.x(), at.y()})) {
        QDialog::contextMenuEvent(event);
    }
}

void DialogWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void DialogWindow::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(NameBytes(url.toLocalFile()));
        }
    }
    event->acceptProposedAction();
    owner_.OnDropFiles(paths);
}

void DialogWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_F1:
        if (owner_.OnHelpInfo()) {
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
            owner_.OnOK();
            return;
        }
        break;
    case Qt::Key_Escape:
        owner_.OnCancel();
        return;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    // The close box is the cancel command; the dialog ends through EndDialog.
    event->ignore();
    if (!ending) {
        owner_.OnCancel();
    }
}

void DialogWindow::reject()
{
    if (!ending) {
        owner_.OnCancel();
    }
}

void DialogWindow::accept()
{
    if (!ending) {
        owner_.OnOK();
    }
}

}  // namespace ui
