#include "app/SonderikApp.h"

#include "app/SonderikDlg.h"
#include "simulator/ProgramDrivers.h"

#include <utility>

CSonderikApp::CSonderikApp(std::string open, std::string logFolder)
    : open_(std::move(open)), logFolder_(std::move(logFolder))
{
}
CSonderikApp::~CSonderikApp() = default;

bool CSonderikApp::InitInstance()
{
    // The same ports, in the same order, as sonderik-cli lists them.
    InstallProgramMidiDrivers();
    // One dialog for the whole run: it carries the voice bank image.
    dialog_ = std::make_unique<CSonderikDlg>();
    dialog_->SetLogFolder(logFolder_);
    if (!open_.empty()) {
        dialog_->OpenTarget(open_);
    }
    dialog_->DoModal();
    return false;
}
