#pragma once

#include <memory>
#include <string>

#include "voice/EXException.h"

// Runs `action` and returns the "unit:line message" of the record it raised,
// or "nothing raised".
template <typename Action>
std::string Raised(Action action)
{
    try {
        action();
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        char text[200];
        FormatEX(e.get(), text, sizeof text);
        return text;
    }
    return "nothing raised";
}
