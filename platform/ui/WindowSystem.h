#pragma once

#include <memory>
#include <string>
#include <vector>

namespace ui {

// The window system, for as long as the program shows windows: made before
// the first dialog, gone after the last. On Windows it readies the common
// controls and their visual style; elsewhere it is Qt's application.
class WindowSystem {
public:
    // `arguments`: the program's name, then what the program itself did not
    // take; the window system takes its own options out of them (Qt's
    // -platform, -display...).
    WindowSystem(std::vector<std::string>& arguments, const std::string& programName, const std::string& version);
    ~WindowSystem();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace ui
