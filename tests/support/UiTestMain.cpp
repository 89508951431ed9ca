// The main of the test programs that make windows: the window system first,
// as the program's own main has it, then the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/WindowSystem.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();  // listing makes no window
    }
#ifndef _WIN32
    // Without a display a Qt program ends at once; these need none.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
#endif
    std::vector<std::string> arguments(argv, argv + argc);
    const ui::WindowSystem windows(arguments, "Sonderik", "0");
    return RUN_ALL_TESTS();
}
