#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

#ifndef SONDERIK_VERSION
#define SONDERIK_VERSION ""
#endif

CAboutDlg::CAboutDlg(CDialog* parent, int iconId) : CDialog(parent)
{
    SetWindowText("About Sonderik");
    ModifyStyle(0, WS_CAPTION | WS_SYSMENU);
    SetTemplate(ui::kShellFont, 235, 97);

    QWidget* const window = ui::qt::WidgetOf(*this);
    auto* picture = new QLabel(window);
    const QRect iconRect = ui::qt::ToQRect(DialogRect(11, 17, 20, 20));
    picture->setPixmap(ui::qt::IconOf(iconId).pixmap(iconRect.size()));
    picture->setGeometry(iconRect);

    auto* name = new QLabel(QStringLiteral("Sonderik Version " SONDERIK_VERSION), window);
    name->setGeometry(ui::qt::ToQRect(DialogRect(40, 10, 188, 8)));
    auto* about = new QLabel(
        QStringLiteral("Browse voice files of the Yamaha EX5, EX5R and EX7, list their voices and send any "
                       "voice to the instrument with a double-click.\n\nRight-click a voice to export it as a "
                       "SysEx file. Settings are kept between runs; jobs write Sonderik.log."),
        window);
    about->setWordWrap(true);
    about->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    about->setGeometry(ui::qt::ToQRect(DialogRect(40, 24, 188, 50)));

    auto* ok = new QPushButton(QStringLiteral("OK"), window);
    ok->setDefault(true);
    ok->setGeometry(ui::qt::ToQRect(DialogRect(178, 76, 50, 14)));
    QObject::connect(ok, &QPushButton::clicked, ok, [this] { EndDialog(IDOK); });
}
