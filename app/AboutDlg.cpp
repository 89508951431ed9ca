#include "app/AboutDlg.h"

#ifndef SONDERIK_VERSION
#define SONDERIK_VERSION ""
#endif

namespace {

// The controls of the box, as the resource script numbers them.
constexpr int kIconId = 1100;
constexpr int kNameId = 1101;
constexpr int kAboutId = 1102;

}  // namespace

CAboutDlg::CAboutDlg(CDialog* parent, int iconId) : CDialog(parent)
{
    SetWindowText("About Sonderik");
    ModifyStyle(0, WS_CAPTION | WS_SYSMENU);
    SetTemplate(ui::kShellFont, 235, 97);

    m_icon.Create("", DialogRect(11, 17, 20, 20), this, kIconId);
    m_icon.SetIcon(iconId);
    m_name.Create("Sonderik Version " SONDERIK_VERSION, DialogRect(40, 10, 188, 8), this, kNameId);
    m_about.Create("Browse voice files of the Yamaha EX5, EX5R and EX7, list their voices and send any "
                   "voice to the instrument with a double-click.\n\nRight-click a voice to export it as a "
                   "SysEx file. Settings are kept between runs; jobs write Sonderik.log.",
                   DialogRect(40, 24, 188, 50), this, kAboutId);
    m_ok.Create("OK", BS_PUSHBUTTON | WS_TABSTOP, DialogRect(178, 76, 50, 14), this, IDOK);
    m_ok.onClicked = [this] { EndDialog(IDOK); };
}
