#include "containers/ContainerPaths.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "containers/FatImage.h"
#include "platform/NoCase.h"
#include "platform/files/Descriptor.h"
#include "platform/files/WinFiles.h"
#ifdef SONDERIK_WITH_ARCHIVE
#include "containers/Archive.h"
#endif

namespace containers {

namespace {

namespace files = platform::files;

bool EndsWithNoCase(std::string_view name, std::string_view tail)
{
    return name.size() >= tail.size() && platform::EqualNoCase(name.substr(name.size() - tail.size()), tail);
}

constexpr std::string_view kImageNames[] = {".img", ".ima"};
#ifdef SONDERIK_WITH_ARCHIVE
constexpr std::string_view kArchiveNames[] = {".zip", ".7z", ".tar", ".tgz", ".tar.gz"};
// Enough of a file's start to tell each archive kind by: tar's mark is at 257.
constexpr std::size_t kArchiveHead = 262;
constexpr std::size_t kTarMarkAt = 257;

bool StartsAsArchive(std::string_view head)
{
    constexpr std::string_view kZip = "PK\x03\x04";
    constexpr std::string_view kEmptyZip = "PK\x05\x06";
    constexpr std::string_view kSevenZip = "7z\xBC\xAF\x27\x1C";
    constexpr std::string_view kGzip = "\x1F\x8B";
    constexpr std::string_view kTar = "ustar";
    return head.substr(0, kZip.size()) == kZip || head.substr(0, kEmptyZip.size()) == kEmptyZip ||
           head.substr(0, kSevenZip.size()) == kSevenZip || head.substr(0, kGzip.size()) == kGzip ||
           (head.size() >= kTarMarkAt + kTar.size() && head.substr(kTarMarkAt, kTar.size()) == kTar);
}
#endif

template <std::size_t N>
bool NamedAs(std::string_view name, const std::string_view (&tails)[N])
{
    for (std::string_view tail : tails) {
        if (EndsWithNoCase(name, tail)) {
            return true;
        }
    }
    return false;
}

// An image read through its descriptor, a piece at a time: a disk image may
// be far larger than a floppy.
ImageBytes BytesOfFile(const files::Descriptor& file, std::uint64_t size)
{
    const int fd = file.Get();
    return ImageBytes{[fd](std::uint64_t offset, std::size_t length, std::uint8_t* into) {
                          const auto got = files::SeekTo(fd, offset) ? files::ReadUpTo(fd, into, length)
                                                                     : std::optional<std::size_t>();
                          return got && *got == length;
                      },
                      size};
}

std::optional<std::uint64_t> RegularSize(const std::string& localPath)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(localPath, ec) || ec) {
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(localPath, ec);
    return ec ? std::nullopt : std::optional<std::uint64_t>(size);
}

// A path's parts: where each component ends in it, and the components.
struct Parts {
    std::vector<std::size_t> ends;
    std::vector<std::string> names;
};

Parts SplitComponents(std::string_view path, bool windows)
{
    Parts parts;
#ifdef _WIN32
    windows = true;  // every path of this system may use either separator
#endif
    const auto separator = [windows](char c) { return c == '/' || (windows && c == '\\'); };
    std::size_t at = 0;
    // A share's two names are one root, like a drive's letter.
    if (windows && path.substr(0, 2) == "\\\\") {
        at = 2;
        for (int names = 0; names < 2 && at < path.size(); ++names) {
            while (at < path.size() && !separator(path[at])) {
                ++at;
            }
            if (names == 0 && at < path.size()) {
                ++at;
            }
        }
        parts.ends.push_back(at);
        parts.names.emplace_back(path.substr(0, at));
    }
    while (at < path.size()) {
        std::size_t end = at;
        while (end < path.size() && !separator(path[end])) {
            ++end;
        }
        if (end > at || parts.ends.empty()) {
            parts.ends.push_back(end);
            parts.names.emplace_back(path.substr(at, end - at));
        }
        at = end + 1;
    }
    return parts;
}

// The file or folder a path names on this system, when it is there.
std::optional<std::string> LocalOf(std::string_view path, bool windows)
{
    if (windows) {
        return platform::ResolveWindowsPath(path);
    }
    std::string local(path.empty() ? std::string_view(".") : path);
    std::error_code ec;
    return std::filesystem::exists(local, ec) && !ec ? std::optional(std::move(local)) : std::nullopt;
}

}  // namespace

bool MayBeContainer(std::string_view name)
{
#ifdef SONDERIK_WITH_ARCHIVE
    if (NamedAs(name, kArchiveNames)) {
        return true;
    }
#endif
    return NamedAs(name, kImageNames);
}

std::optional<ContainerKind> ContainerKindOf(const std::string& localPath)
{
    if (!MayBeContainer(localPath)) {
        return std::nullopt;
    }
    const bool image = NamedAs(localPath, kImageNames);
    const std::optional<std::uint64_t> size = RegularSize(localPath);
    if (!size) {
        return std::nullopt;
    }
    const files::Descriptor file = files::OpenForReading(localPath);
    if (!file || files::KindOf(file.Get()) != files::FileKind::Regular) {
        return std::nullopt;
    }
    if (image) {
        return LooksLikeFatImage(BytesOfFile(file, *size)) ? std::optional(ContainerKind::DiskImage) : std::nullopt;
    }
#ifdef SONDERIK_WITH_ARCHIVE
    std::array<char, kArchiveHead> head{};
    const std::optional<std::size_t> got = files::ReadUpTo(file.Get(), head.data(), head.size());
    if (got && StartsAsArchive(std::string_view(head.data(), *got))) {
        return ContainerKind::Archive;
    }
#endif
    return std::nullopt;
}

std::optional<Located> Locate(std::string_view path)
{
    const bool windows = platform::IsWindowsPath(path);
    const Parts parts = SplitComponents(path, windows);
    // An ordinary path is there as it is: only a container itself is one.
    if (const std::optional<std::string> whole = LocalOf(path, windows)) {
        if (const std::optional<ContainerKind> kind = ContainerKindOf(*whole)) {
            return Located{*whole, *kind, {}};
        }
        return std::nullopt;
    }
    // Else the longest part that is there must be a container file.
    for (std::size_t count = parts.ends.size(); count >= 1; --count) {
        const std::optional<std::string> local = LocalOf(path.substr(0, parts.ends[count - 1]), windows);
        if (!local) {
            continue;
        }
        const std::optional<ContainerKind> kind = ContainerKindOf(*local);
        if (!kind) {
            return std::nullopt;
        }
        return Located{*local, *kind,
                       std::vector<std::string>(parts.names.begin() + static_cast<std::ptrdiff_t>(count),
                                                parts.names.end())};
    }
    return std::nullopt;
}

std::string HoldingFile(std::string_view path)
{
    if (const std::optional<Located> located = Locate(path)) {
        return located->container;
    }
    return platform::ToLocalPath(path).value_or(std::string(path));
}

Listing ListInside(const Located& folder)
{
    if (folder.kind == ContainerKind::DiskImage) {
        const std::optional<std::uint64_t> size = RegularSize(folder.container);
        const files::Descriptor file = files::OpenForReading(folder.container);
        if (!size || !file) {
            return Listing{{}, "the disk image cannot be read"};
        }
        return ListFatFolder(BytesOfFile(file, *size), folder.inside);
    }
#ifdef SONDERIK_WITH_ARCHIVE
    const ArchiveIndex index = IndexArchiveFile(folder.container);
    if (!index.problem.empty()) {
        return Listing{{}, index.problem};
    }
    return ListArchiveFolder(index, folder.inside);
#else
    return Listing{{}, "archives cannot be read by this build"};
#endif
}

Contents ReadInside(const Located& file, std::size_t limit)
{
    if (file.inside.empty()) {
        return Contents{{}, "is a folder, not a voice file"};
    }
    if (file.kind == ContainerKind::DiskImage) {
        const std::optional<std::uint64_t> size = RegularSize(file.container);
        const files::Descriptor image = files::OpenForReading(file.container);
        if (!size || !image) {
            return Contents{{}, "the disk image cannot be read"};
        }
        return ReadFatFile(BytesOfFile(image, *size), file.inside, limit);
    }
#ifdef SONDERIK_WITH_ARCHIVE
    std::string inside;
    for (const std::string& name : file.inside) {
        inside += (inside.empty() ? "" : "/") + name;
    }
    return ReadArchiveEntryFile(file.container, inside, limit);
#else
    return Contents{{}, "archives cannot be read by this build"};
#endif
}

}  // namespace containers
