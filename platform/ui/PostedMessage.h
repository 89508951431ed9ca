#pragma once

#include <QEvent>

#include "platform/WinTypes.h"
#include "platform/threads/Window.h"

namespace ui {

// A message posted to a window of the Qt backend: its event type is the
// message number, so that the windows' own events never take one of ours.
class PostedMessage : public QEvent {
public:
    PostedMessage(UINT message, WPARAM first, LPARAM second)
        : QEvent(static_cast<QEvent::Type>(message)), wParam(first), lParam(second)
    {
    }

    UINT Message() const { return static_cast<UINT>(type()); }

    const WPARAM wParam;
    const LPARAM lParam;
};

}  // namespace ui
