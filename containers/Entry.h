#pragma once

// What the readers of disk images and archives hand back: a folder's
// entries, or a file's bytes, each with the words for why it could not be
// had. Both readers only ever read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace containers {

// Nothing larger is read out of an image or archive (a voice file is ~100 KB).
inline constexpr std::size_t kLargestEntry = std::size_t{1} << 20;

struct Entry {
    // As shown: the valid long name if there is one, else "NAME.EXT".
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;
    // Seconds since 1970 of the entry's stamp, its local time taken as UTC.
    std::int64_t modified = 0;
    // Non-empty: why this entry is listed but never opened.
    std::string refused;
};

// `problem` non-empty: the folder could not be read (`entries` then empty).
struct Listing {
    std::vector<Entry> entries;
    std::string problem;
};

// `problem` non-empty: nothing usable was read (`bytes` then empty).
struct Contents {
    std::string bytes;
    std::string problem;
};

}  // namespace containers
