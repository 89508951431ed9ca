#include "platform/ui/WindowSystem.h"

#include <windows.h>
#include <commctrl.h>

namespace ui {

struct WindowSystem::Native {};

WindowSystem::WindowSystem(std::vector<std::string>& /*arguments*/, const std::string& /*programName*/,
                           const std::string& /*version*/)
    : native_(std::make_unique<Native>())
{
    // The tree, the up-down control and the list view live in the common
    // controls library, which registers their classes only when asked.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TREEVIEW_CLASSES | ICC_UPDOWN_CLASS;
    InitCommonControlsEx(&controls);
}

WindowSystem::~WindowSystem() = default;

}  // namespace ui
