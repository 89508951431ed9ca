#pragma once

#include <memory>
#include <string>

class CSonderikDlg;

// The application: runs the main dialog modally and ends when it closes.
class CSonderikApp {
public:
    // `open`: a voice file or folder the window opens at, or empty;
    // `logFolder`: where the jobs write their log (empty: the current folder).
    explicit CSonderikApp(std::string open = {}, std::string logFolder = {});
    ~CSonderikApp();
    CSonderikApp(const CSonderikApp&) = delete;
    CSonderikApp& operator=(const CSonderikApp&) = delete;

    // Runs the dialog; false, so that the program ends once it has closed.
    bool InitInstance();
    CSonderikDlg* MainWindow() const { return dialog_.get(); }

private:
    std::string open_;
    std::string logFolder_;
    std::unique_ptr<CSonderikDlg> dialog_;
};
