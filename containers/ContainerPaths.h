#pragma once

// Paths that pass through a disk image or an archive, as the browser, the
// command line and the voice file reader take them: "C:\Disks\DSKA0001.IMG\"
// is a folder, "C:\Sets\pads.zip\EX5\PADS.S1A" a voice file, and likewise a
// path of this system ("/media/stick/DSKA0001.IMG/BANK1.S1V"). The system's
// own file search cannot step into either, so this layer does, read only.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "containers/Entry.h"

namespace containers {

enum class ContainerKind { DiskImage, Archive };

// A path split where it enters a container: the container file as this
// system names it, and the components inside it (none for its top).
struct Located {
    std::string container;
    ContainerKind kind = ContainerKind::DiskImage;
    std::vector<std::string> inside;
};

// Whether a file of this system is a container this build opens: a disk
// image is named .img or .ima and has a FAT12/FAT16 boot sector; an archive
// (with SONDERIK_WITH_ARCHIVE) is named .zip, .7z, .tar, .tgz or .tar.gz
// and starts as one does.
std::optional<ContainerKind> ContainerKindOf(const std::string& localPath);

// Whether a name is one a container this build opens may have: a cheap
// look before ContainerKindOf opens the file.
bool MayBeContainer(std::string_view name);

// Where `path` (a Windows path or one of this system; a folder may end in
// its separator) enters a container; nothing when it passes through none,
// as an ordinary file or folder, or one that is not there, does.
std::optional<Located> Locate(std::string_view path);

// The file of this system that holds `path`: the disk image or archive it
// passes through, else the file it names (as given when it is not there).
// What writing must never replace while `path` is read.
std::string HoldingFile(std::string_view path);

// The entries of a folder inside a container, or why they cannot be had (a
// broken container, a folder not in it).
Listing ListInside(const Located& folder);

// A file's bytes from inside a container, no more than `limit` of them.
Contents ReadInside(const Located& file, std::size_t limit = kLargestEntry);

}  // namespace containers
