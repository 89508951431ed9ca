#pragma once

#include <algorithm>
#include <chrono>

#include "platform/WinTypes.h"

// A wait of `timeout` as the system's waits take it: never negative, and
// never INFINITE, which would make a long bound no bound at all.
inline DWORD WaitMilliseconds(std::chrono::milliseconds timeout)
{
    constexpr std::chrono::milliseconds::rep kLongest = 0xFFFFFFFE;
    return static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, kLongest));
}
