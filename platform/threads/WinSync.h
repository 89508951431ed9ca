#pragma once

#include "platform/WinTypes.h"
#include "platform/handles.h"

#ifndef _WIN32  // on Windows these are the system's own, from <windows.h>

// Unnamed kernel events, waits and sleeping, with the shape and results they
// have on Windows. Every call checks its handle: a closed or made-up handle
// makes the call fail (FALSE, WAIT_FAILED) instead of touching freed memory.
// All calls may be made from any thread; SetEvent is safe from a MIDI
// callback (it takes one short lock and never blocks on I/O).

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

// Named events are not supported: a name makes the call fail (null).
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// A wait in progress keeps its event alive even when another thread closes
// the handle meanwhile.
DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);
BOOL CloseHandle(HANDLE event);
void Sleep(DWORD milliseconds);
#endif
