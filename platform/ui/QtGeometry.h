#pragma once

#include <QRect>

#include "platform/ui/Geometry.h"

namespace ui::qt {

// A RECT's right and bottom lie outside it, a QRect's inside: the sizes are
// what the two agree on.
inline QRect ToQRect(const RECT& rect)
{
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

inline RECT ToRect(const QRect& rect)
{
    return RECT{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

}  // namespace ui::qt
