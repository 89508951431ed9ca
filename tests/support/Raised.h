#pragma once

#include <memory>
#include <string>

#include "voice/EXException.h"

// Runs `action` and returns what `show` makes of the record it raised, or
// "nothing raised".
template <typename Action, typename Show>
std::string RaisedAs(Action action, Show show)
{
    try {
        action();
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        return show(e.get());
    }
    return "nothing raised";
}

// The "unit:line message" of the record `action` raised.
template <typename Action>
std::string Raised(Action action)
{
    return RaisedAs(action, [](const EXException* e) {
        char text[200];
        FormatEX(e, text, sizeof text);
        return std::string(text);
    });
}

// "message / reason" of the record `action` raised.
template <typename Action>
std::string RaisedBecause(Action action)
{
    return RaisedAs(action, [](const EXException* e) {
        return e ? std::string(e->message) + " / " + e->reason : std::string("a null record");
    });
}
