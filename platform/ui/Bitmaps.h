#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

#ifndef _WIN32  // on Windows these are the system's own
// A colour as 0x00BBGGRR.
using COLORREF = DWORD;

constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue)
{
    return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) | (static_cast<COLORREF>(blue) << 16);
}

constexpr BYTE GetRValue(COLORREF colour) { return static_cast<BYTE>(colour); }
constexpr BYTE GetGValue(COLORREF colour) { return static_cast<BYTE>(colour >> 8); }
constexpr BYTE GetBValue(COLORREF colour) { return static_cast<BYTE>(colour >> 16); }
#endif

namespace ui {

// The bitmaps the window's controls take their pictures from, by resource
// id: on Windows the program's resources, elsewhere drawn by the backend.
// The folder tree's pictures: one strip of images side by side on white.
constexpr UINT kTreeImagesBitmap = 134;
constexpr int kTreeImageWidth = 17;

}  // namespace ui
