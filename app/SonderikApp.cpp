#include "app/SonderikApp.h"

#include "app/SonderikDlg.h"

CSonderikApp::CSonderikApp() = default;
CSonderikApp::~CSonderikApp() = default;

bool CSonderikApp::InitInstance()
{
    // One dialog for the whole run: it carries the voice bank image.
    dialog_ = std::make_unique<CSonderikDlg>();
    dialog_->DoModal();
    return false;
}
