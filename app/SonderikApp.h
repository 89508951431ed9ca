#pragma once

#include <memory>

class CSonderikDlg;

// The application: runs the main dialog modally and ends when it closes.
class CSonderikApp {
public:
    CSonderikApp();
    ~CSonderikApp();
    CSonderikApp(const CSonderikApp&) = delete;
    CSonderikApp& operator=(const CSonderikApp&) = delete;

    // Runs the dialog; false, so that the program ends once it has closed.
    bool InitInstance();
    CSonderikDlg* MainWindow() const { return dialog_.get(); }

private:
    std::unique_ptr<CSonderikDlg> dialog_;
};
