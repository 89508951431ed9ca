#pragma once

#include <cstdint>

#ifdef _WIN32
// The system's own types. The multimedia part of <windows.h> stays out: its
// midi* calls are the MIDI layer's own names here (platform/midi/WinMidi.h).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

using MMRESULT = UINT;
using MMVERSION = UINT;
#else
// The plain integer types the Windows-shaped calls of this layer use, with
// the widths they have there.
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
#endif
