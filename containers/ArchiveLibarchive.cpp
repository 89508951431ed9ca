#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <utility>

#include "containers/Archive.h"
#include "containers/EntryNames.h"
#include "platform/NoCase.h"
#include "platform/files/Descriptor.h"

namespace containers {
namespace {

constexpr std::size_t kBuffer = 64 * 1024;
// More entries than any collection of voice files holds; an index is kept
// in memory whole.
constexpr std::size_t kMostEntries = 100000;
constexpr char kUnreadable[] = "the archive could not be read";
constexpr char kAbsolute[] = "its path is absolute";

class Reader {
public:
    Reader() : a_(archive_read_new()) {}
    ~Reader()
    {
        if (a_ != nullptr) {
            archive_read_free(a_);
        }
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    archive* Get() const { return a_; }

private:
    archive* a_;
};

// Every compression libarchive undoes itself. The ones it would hand to an
// outside program (lrzip, lzop, grzip) are left out: reading runs nothing.
// Every archive format but mtree, whose text names files of this system
// for its entries' data, and raw, which takes any bytes for an archive.
void Support(archive* a)
{
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_compress(a);
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_lz4(a);
    archive_read_support_filter_lzip(a);
    archive_read_support_filter_lzma(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_zstd(a);
    archive_read_support_filter_uu(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_ar(a);
    archive_read_support_format_cab(a);
    archive_read_support_format_cpio(a);
    archive_read_support_format_iso9660(a);
    archive_read_support_format_lha(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_warc(a);
    archive_read_support_format_xar(a);
    archive_read_support_format_zip(a);
}

std::string Damaged(archive* a)
{
    const char* said = archive_error_string(a);
    if (said == nullptr || *said == '\0') {
        return "the archive is damaged";
    }
    return std::string("the archive is damaged (") + said + ")";
}

// Opens the archive for reading, or says why it cannot be.
using Opener = std::function<std::string(archive*)>;

std::string OpenProblem(archive* a, int result)
{
    if (result == ARCHIVE_OK || result == ARCHIVE_WARN) {
        return {};
    }
    const char* said = archive_error_string(a);
    if (said != nullptr && std::string_view(said).find("Unrecognized archive format") != std::string_view::npos) {
        return "this is not a zip, 7z, tar or other archive that can be read";
    }
    return Damaged(a);
}

Opener FromMemory(std::string_view bytes)
{
    return [bytes](archive* a) {
        Support(a);
        return OpenProblem(a, archive_read_open_memory(a, bytes.data(), bytes.size()));
    };
}

// The descriptor lives as long as the reader that uses it, so the opener
// keeps it.
Opener FromFile(const std::string& localPath, platform::files::Descriptor& file)
{
    return [&localPath, &file](archive* a) -> std::string {
        file = platform::files::OpenForReading(localPath);
        if (!file) {
            const std::string why = platform::files::ReadProblem(localPath);
            return "the archive cannot be opened" + (why.empty() ? std::string() : ": " + why);
        }
        if (platform::files::KindOf(file.Get()) != platform::files::FileKind::Regular) {
            return "the archive is not a plain file";
        }
        Support(a);
        return OpenProblem(a, archive_read_open_fd(a, file.Get(), kBuffer));
    };
}

// An entry as the index shows it; no path at all is the archive's top,
// which is no entry.
struct Named {
    ArchiveEntry entry;
    bool any = false;
};

Named NameOf(archive_entry* e)
{
    const char* raw = archive_entry_pathname_utf8(e);
    if (raw == nullptr) {
        raw = archive_entry_pathname(e);
    }
    const std::string_view path = raw == nullptr ? std::string_view() : std::string_view(raw);
    const std::vector<std::string> parts = names::SplitPath(path);
    Named named;
    named.any = !parts.empty();
    for (const std::string& part : parts) {
        if (!named.entry.path.empty()) {
            named.entry.path += '/';
        }
        named.entry.path += part;
    }
    const unsigned type = archive_entry_filetype(e);
    named.entry.folder = type == AE_IFDIR;
    named.entry.size = named.entry.folder || archive_entry_size_is_set(e) == 0
                           ? 0
                           : static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(e)));
    named.entry.modified = archive_entry_mtime_is_set(e) != 0 ? archive_entry_mtime(e) : 0;

    std::string& refused = named.entry.refused;
    const bool absolute = !path.empty() && (path[0] == '/' || (path.size() >= 2 && path[1] == ':' &&
                                                               std::isalpha(static_cast<unsigned char>(path[0])) != 0));
    if (std::any_of(path.begin(), path.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte == 0x7F;
        })) {
        refused = "its name holds a control character";
    } else if (path.find('\\') != std::string_view::npos) {
        refused = "its name holds a backslash";
    } else if (absolute) {
        refused = kAbsolute;
    } else if (std::find(parts.begin(), parts.end(), "..") != parts.end()) {
        refused = "its path holds \"..\"";
    } else if (archive_entry_is_encrypted(e) != 0) {
        refused = "it is encrypted";
    } else if (archive_entry_hardlink(e) != nullptr) {
        refused = "it is a link to another entry";
    } else if (type != AE_IFDIR && type != AE_IFREG) {
        refused = "it is a link or device, not a plain file";
    }
    return named;
}

ArchiveIndex Index(const Opener& open)
{
    Reader reader;
    if (reader.Get() == nullptr) {
        return {{}, kUnreadable};
    }
    archive* a = reader.Get();
    ArchiveIndex index;
    index.problem = open(a);
    if (!index.problem.empty()) {
        return index;
    }
    for (;;) {
        archive_entry* e = nullptr;
        const int result = archive_read_next_header(a, &e);
        if (result == ARCHIVE_EOF) {
            return index;
        }
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            return {{}, Damaged(a)};
        }
        Named named = NameOf(e);
        if (!named.any) {
            continue;
        }
        if (index.entries.size() == kMostEntries) {
            return {{}, "the archive holds more than " + std::to_string(kMostEntries) + " entries"};
        }
        index.entries.push_back(std::move(named.entry));
    }
}

enum class Match { Exact, IgnoringCase };

struct Sought {
    Contents contents;
    bool found = false;
    bool foundIgnoringCase = false;
};

Contents TakeData(archive* a, const ArchiveEntry& entry, std::size_t limit, bool sizeKnown)
{
    const std::string name = '"' + entry.path + '"';
    const std::string tooLarge = " more than the " + std::to_string(limit) + " bytes read from an archive";
    if (sizeKnown && entry.size > limit) {
        return {{}, name + " is " + std::to_string(entry.size) + " bytes long," + tooLarge};
    }
    Contents contents;
    std::vector<char> buffer(kBuffer);
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
        if (n == 0) {
            break;
        }
        if (n < 0) {
            return {{}, Damaged(a)};
        }
        const auto got = static_cast<std::size_t>(n);
        if (got > limit - contents.bytes.size()) {
            return {{}, name + " unpacks to" + tooLarge};
        }
        contents.bytes.append(buffer.data(), got);
    }
    if (sizeKnown && contents.bytes.size() < entry.size) {
        return {{}, name + " is cut short in the archive"};
    }
    return contents;
}

Sought Seek(const Opener& open, const std::string& path, std::size_t limit, Match match)
{
    Sought sought;
    Reader reader;
    if (reader.Get() == nullptr) {
        sought.contents.problem = kUnreadable;
        return sought;
    }
    archive* a = reader.Get();
    sought.contents.problem = open(a);
    if (!sought.contents.problem.empty()) {
        return sought;
    }
    for (;;) {
        archive_entry* e = nullptr;
        const int result = archive_read_next_header(a, &e);
        if (result == ARCHIVE_EOF) {
            sought.contents.problem = "there is no \"" + path + "\" in the archive";
            return sought;
        }
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            sought.contents.problem = Damaged(a);
            return sought;
        }
        const Named named = NameOf(e);
        if (!named.any) {
            continue;
        }
        const bool exact = named.entry.path == path;
        const bool caseless = platform::EqualNoCase(named.entry.path, path);
        sought.foundIgnoringCase = sought.foundIgnoringCase || caseless;
        if (!(match == Match::Exact ? exact : caseless)) {
            continue;
        }
        sought.found = true;
        if (!named.entry.refused.empty()) {
            sought.contents.problem = "that entry of the archive is not read: " + named.entry.refused;
        } else if (named.entry.folder) {
            sought.contents.problem = "\"" + path + "\" in the archive is a folder, not a file";
        } else {
            sought.contents = TakeData(a, named.entry, limit, archive_entry_size_is_set(e) != 0);
        }
        return sought;
    }
}

Contents ReadEntry(const Opener& open, const std::string& wanted, std::size_t limit)
{
    std::string path;
    for (const std::string& part : names::SplitPath(wanted)) {
        path += (path.empty() ? "" : "/") + part;
    }
    if (path.empty()) {
        return {{}, "no entry of the archive was named"};
    }
    Sought sought = Seek(open, path, limit, Match::Exact);
    if (!sought.found && sought.foundIgnoringCase) {
        sought = Seek(open, path, limit, Match::IgnoringCase);
    }
    return std::move(sought.contents);
}

std::string Folded(std::string_view name)
{
    std::string folded;
    folded.reserve(name.size());
    for (const char c : name) {
        folded += static_cast<char>(platform::FoldCase(c));
    }
    return folded;
}

// How many of an entry's leading components are folders it is shown in:
// those before the first that could lead out of the archive or that holds
// what no name should; for any other entry, all but its own name.
std::size_t HomeOf(const ArchiveEntry& entry, const std::vector<std::string>& parts)
{
    if (entry.refused == kAbsolute) {
        return 0;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!names::RefusalOf(parts[i]).empty()) {
            return i;
        }
    }
    return parts.size() - 1;
}

std::string Joined(const std::vector<std::string>& parts, std::size_t from)
{
    std::string joined;
    for (std::size_t i = from; i < parts.size(); ++i) {
        joined += (joined.empty() ? "" : "/") + parts[i];
    }
    return joined;
}

Listing List(const ArchiveIndex& index, const std::vector<std::string>& folder)
{
    if (!index.problem.empty()) {
        return {{}, index.problem};
    }
    Listing listing;
    // Where each name (folded, and whether a folder) stands in the listing.
    std::map<std::pair<std::string, bool>, std::size_t> placed;
    bool folderSeen = folder.empty();
    bool isFile = false;
    for (const ArchiveEntry& entry : index.entries) {
        const std::vector<std::string> parts = names::SplitPath(entry.path);
        if (parts.empty() || parts.size() < folder.size() ||
            !std::equal(folder.begin(), folder.end(), parts.begin(),
                        [](const std::string& a, const std::string& b) { return platform::EqualNoCase(a, b); })) {
            continue;
        }
        const std::size_t home = HomeOf(entry, parts);
        if (folder.size() > home) {
            // The folder asked for is this entry itself, or lies below a
            // name no folder may have.
            if (entry.refused.empty() && parts.size() == folder.size()) {
                folderSeen = folderSeen || entry.folder;
                isFile = isFile || !entry.folder;
            }
            continue;
        }
        folderSeen = true;
        const bool below = folder.size() < home;
        if (!below && !entry.refused.empty()) {
            Entry shown;
            shown.name = Joined(parts, home);
            shown.folder = entry.folder;
            shown.size = entry.size;
            shown.modified = entry.modified;
            shown.refused = entry.refused;
            listing.entries.push_back(std::move(shown));
            continue;
        }
        const bool isFolder = below || entry.folder;
        const std::string& name = parts[folder.size()];
        const auto key = std::make_pair(Folded(name), isFolder);
        const auto at = placed.find(key);
        if (at != placed.end()) {
            // A folder's own entry says when it was changed; the first file
            // of a name is the one a read finds.
            if (!below && isFolder) {
                listing.entries[at->second].modified = entry.modified;
            }
            continue;
        }
        Entry shown;
        shown.name = name;
        shown.folder = isFolder;
        shown.size = isFolder ? 0 : entry.size;
        shown.modified = below ? 0 : entry.modified;
        placed.emplace(key, listing.entries.size());
        listing.entries.push_back(std::move(shown));
    }
    if (!folderSeen) {
        const std::string quoted = '"' + Joined(folder, 0) + '"';
        return {{}, isFile ? quoted + " in the archive is a file, not a folder"
                           : "there is no folder " + quoted + " in the archive"};
    }
    return listing;
}

}  // namespace

ArchiveIndex IndexArchive(std::string_view bytes)
{
    try {
        return Index(FromMemory(bytes));
    } catch (...) {
        return {{}, kUnreadable};
    }
}

ArchiveIndex IndexArchiveFile(const std::string& localPath)
{
    try {
        platform::files::Descriptor file;
        return Index(FromFile(localPath, file));
    } catch (...) {
        return {{}, kUnreadable};
    }
}

Listing ListArchiveFolder(const ArchiveIndex& index, const std::vector<std::string>& folder)
{
    try {
        return List(index, folder);
    } catch (...) {
        return {{}, kUnreadable};
    }
}

Contents ReadArchiveEntry(std::string_view bytes, const std::string& path, std::size_t limit)
{
    try {
        return ReadEntry(FromMemory(bytes), path, limit);
    } catch (...) {
        return {{}, kUnreadable};
    }
}

Contents ReadArchiveEntryFile(const std::string& localPath, const std::string& path, std::size_t limit)
{
    try {
        platform::files::Descriptor file;
        return ReadEntry(FromFile(localPath, file), path, limit);
    } catch (...) {
        return {{}, kUnreadable};
    }
}

}  // namespace containers
