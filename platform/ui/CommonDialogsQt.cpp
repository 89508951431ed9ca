#include "platform/ui/CommonDialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>

#include "platform/ui/Dialog.h"
#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

namespace ui {

int MessageBoxA(CDialog* owner, const std::string& text, const std::string& caption, UINT type)
{
    QMessageBox box((type & MB_ICONEXCLAMATION) != 0 ? QMessageBox::Warning : QMessageBox::NoIcon,
                    DrawnName(caption), DrawnName(text), QMessageBox::Ok, ui::qt::WidgetOf(owner));
    return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
}

std::optional<std::string> GetSaveFileNameA(CDialog* owner, const std::string& title,
                                            const std::vector<FileFilter>& filters, const std::string& proposed)
{
    QStringList types;
    for (const FileFilter& filter : filters) {
        types.push_back(DrawnName(filter.description + " (" + filter.pattern + ")"));
    }
    const QString chosen =
        QFileDialog::getSaveFileName(ui::qt::WidgetOf(owner), DrawnName(title), DrawnName(proposed),
                                     types.join(QStringLiteral(";;")));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return NameBytes(chosen);
}

UINT TrackPopupMenu(const std::vector<MenuItem>& items, POINT screen, CDialog* owner)
{
    QMenu menu(ui::qt::WidgetOf(owner));
    for (const MenuItem& item : items) {
        menu.addAction(DrawnName(item.text))->setData(item.id);
    }
    const QAction* chosen = menu.exec(QPoint(screen.x, screen.y));
    return chosen != nullptr ? chosen->data().toUInt() : 0;
}

std::optional<RECT> MonitorWorkArea(POINT screen)
{
    const QScreen* monitor = QGuiApplication::screenAt(QPoint(screen.x, screen.y));
    if (monitor == nullptr) {
        monitor = QGuiApplication::primaryScreen();
    }
    if (monitor == nullptr) {
        return std::nullopt;
    }
    return ui::qt::ToRect(monitor->availableGeometry());
}

}  // namespace ui
