#pragma once

#include <cstdint>
#include <string>

#include "app/Settings.h"

// What writer `id` closes with on its `round`-th save: every value differs
// from round to round and from writer to writer, and the path is long enough
// that a torn file could not pass for a whole one.
inline Settings WriterValues(std::uint32_t id, std::uint32_t round)
{
    const std::uint32_t n = id * 100000 + round;
    std::string path = "/home/me/voices/writer-" + std::to_string(id) + "/round-" + std::to_string(round) + "/";
    path.resize(200, 'v');
    return Settings{path,  static_cast<std::int32_t>(n),     static_cast<std::int32_t>(n + 3), n + 11, n + 13,
                    n + 7, (id + round) % 2 == 1, "", "", round % 2 == 0, id % 2 == 0,
                    std::to_string(id) + "," + std::to_string(round) + ",791,481"};
}
