#pragma once

// Archives (zip, 7z, tar and the like) read through libarchive, from memory
// or from a file of this system. Only built with SONDERIK_WITH_ARCHIVE.
// Nothing is ever written: entries are read into memory, bounded.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "containers/Entry.h"

namespace containers {

struct ArchiveEntry {
    std::string path;  // inside, '/'-separated, no leading "./" or "/"
    bool folder = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::string refused;  // non-empty: listed, never read
};

// `problem` non-empty: the archive could not be read (`entries` then empty).
struct ArchiveIndex {
    std::vector<ArchiveEntry> entries;
    std::string problem;
};

ArchiveIndex IndexArchive(std::string_view bytes);
ArchiveIndex IndexArchiveFile(const std::string& localPath);

// The entries of one folder, with the folders the entries' paths imply
// ("EX5/PADS.S1A" makes a folder "EX5" even with no entry of its own);
// `folder`'s components are matched ignoring ASCII case.
Listing ListArchiveFolder(const ArchiveIndex& index, const std::vector<std::string>& folder);

// `path` as the index gives it (an entry of that path exactly, else the
// first whose path differs only in ASCII case). An entry that says it is
// larger than `limit` is refused unread; one that turns out larger is
// refused once a little more than `limit` has come.
Contents ReadArchiveEntry(std::string_view bytes, const std::string& path, std::size_t limit = kLargestEntry);
Contents ReadArchiveEntryFile(const std::string& localPath, const std::string& path,
                              std::size_t limit = kLargestEntry);

}  // namespace containers
