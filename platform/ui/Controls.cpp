#include "platform/ui/Controls.h"

std::uint32_t PackPosition(int x, int y)
{
    return (static_cast<std::uint32_t>(x) & 0xFFFFu) | ((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16);
}
