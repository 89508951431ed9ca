#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"

// The about box (resource 100): the icon, the program's name and version
// and a few lines about it, and "OK".
class CAboutDlg : public CDialog {
public:
    // The icon is the program's icon resource of this id.
    CAboutDlg(CDialog* parent, int iconId);

private:
    CStatic m_icon;
    CStatic m_name;
    CStatic m_about;
    CButton m_ok;
};
