#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

#ifndef _WIN32  // on Windows these are the system's own
using LONG = std::int32_t;

// A point, a size and a rectangle in pixels, shaped as the system calls of
// the window take and give them: a rectangle runs from its left and top up
// to, not including, its right and bottom.
struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};
#endif
