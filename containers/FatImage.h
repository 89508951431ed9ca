#pragma once

// Floppy and hard-disk images of the FAT12 and FAT16 kind, read through a
// function so that a large image need not be in memory. Every read is
// bounded by what the image says and what it holds; nothing is written.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "containers/Entry.h"

namespace containers {

// Reads `size` bytes at `offset` into `into`; false when the image has not
// that many bytes there.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, std::uint8_t* into)>;
struct ImageBytes {
    ReadAt read;
    std::uint64_t size = 0;
};

// Over bytes in memory (the string must outlive it).
ImageBytes BytesOf(std::string_view image);

// Told by the boot sector's description of the disk, not by the file's name.
bool LooksLikeFatImage(const ImageBytes& image);

// `folder`: components inside the image ({} for the root, {"EX5","PADS"}),
// matched ignoring ASCII case against long or short names.
Listing ListFatFolder(const ImageBytes& image, const std::vector<std::string>& folder);

// `file`: the components of a file. A file that says it is larger than
// `limit` is refused unread, and no more than `limit` bytes are ever read.
Contents ReadFatFile(const ImageBytes& image, const std::vector<std::string>& file,
                     std::size_t limit = kLargestEntry);

}  // namespace containers
