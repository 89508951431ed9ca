#pragma once

#include <chrono>
#include <thread>

// Whether `condition` came true within `bound`, looked at every millisecond
// on this thread (which runs nothing else meanwhile).
template <typename Condition>
bool Within(std::chrono::milliseconds bound, Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
