#include "app/AboutDlg.h"

#include "app/windows/ResourceIds.h"

#ifndef SONDERIK_VERSION
#define SONDERIK_VERSION ""
#endif

CAboutDlg::CAboutDlg(CDialog* parent, int iconId) : CDialog(parent)
{
    SetWindowText("About Sonderik");
    ModifyStyle(0, WS_CAPTION | WS_SYSMENU);
    SetTemplate(ui::kShellFont, 235, 97);

    m_icon.Create("", DialogRect(11, 17, 20, 20), this, IDC_ABOUT_ICON);
    m_icon.SetIcon(iconId);
    m_name.Create("Sonderik Version " SONDERIK_VERSION, DialogRect(40, 10, 188, 8), this, IDC_ABOUT_NAME);
    m_about.Create("Browse voice files of the Yamaha EX5, EX5R and EX7, list their voices and send any "
                   "voice to the instrument with a double-click.\n\nRight-click a voice to export it as a "
                   "SysEx file. Settings are kept between runs; jobs write Sonderik.log.",
                   DialogRect(40, 24, 188, 50), this, IDC_ABOUT_TEXT);
    m_ok.Create("OK", BS_PUSHBUTTON | WS_TABSTOP, DialogRect(178, 76, 50, 14), this, IDOK);
    m_ok.onClicked = [this] { EndDialog(IDOK); };
}
