#include "containers/FatImage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "containers/EntryNames.h"
#include "platform/NoCase.h"

namespace containers {
namespace {

constexpr char kCutShort[] = "the disk image is cut short";
constexpr char kNotFat[] = "this is not a FAT disk image";
constexpr char kTableDamaged[] = "the disk image's file table is damaged";
constexpr char kFolderLoops[] = "the disk image's folder chain loops";
constexpr char kFileLoops[] = "the disk image's file chain loops";
constexpr char kFileEndsEarly[] = "the file ends early on the disk image: part of it is missing";
constexpr char kFolderNeverEnds[] = "a folder on the disk image never ends";
constexpr char kUnreadable[] = "the disk image could not be read";

constexpr std::size_t kDirEntry = 32;
// No FAT folder holds more entries than this.
constexpr std::uint64_t kLargestFolder = 65536 * kDirEntry;

std::uint16_t Le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool PowerOfTwo(std::uint32_t n)
{
    return n != 0 && (n & (n - 1)) == 0;
}

struct Geometry {
    std::uint32_t clusterBytes = 0;
    std::uint64_t fatStart = 0;
    std::uint64_t fatBytes = 0;  // what of the first table describes the clusters
    std::uint64_t rootStart = 0;
    std::uint64_t rootBytes = 0;
    std::uint64_t dataStart = 0;
    std::uint32_t clusterCount = 0;
    bool fat16 = false;
};

std::optional<Geometry> GeometryOf(const ImageBytes& image)
{
    std::array<std::uint8_t, 64> boot{};
    if (!image.read || image.size < 512 || !image.read(0, boot.size(), boot.data())) {
        return std::nullopt;
    }
    const std::uint32_t sectorBytes = Le16(&boot[11]);
    const std::uint32_t perCluster = boot[13];
    const std::uint32_t reserved = Le16(&boot[14]);
    const std::uint32_t fats = boot[16];
    const std::uint32_t rootEntries = Le16(&boot[17]);
    std::uint32_t total = Le16(&boot[19]);
    if (total == 0) {
        total = Le32(&boot[32]);
    }
    const std::uint8_t media = boot[21];
    const std::uint32_t fatSectors = Le16(&boot[22]);  // 0 on FAT32
    if (sectorBytes < 512 || sectorBytes > 4096 || !PowerOfTwo(sectorBytes) || !PowerOfTwo(perCluster) ||
        reserved == 0 || fats < 1 || fats > 2 || rootEntries == 0 || total == 0 || fatSectors == 0 ||
        (media != 0xF0 && media < 0xF8)) {
        return std::nullopt;
    }
    const std::uint64_t rootSectors = (std::uint64_t{rootEntries} * kDirEntry + sectorBytes - 1) / sectorBytes;
    const std::uint64_t metaSectors = reserved + std::uint64_t{fats} * fatSectors + rootSectors;
    if (metaSectors >= total) {
        return std::nullopt;
    }
    const std::uint64_t clusters = (total - metaSectors) / perCluster;
    if (clusters == 0 || clusters >= 65525) {
        return std::nullopt;
    }
    Geometry g;
    g.fat16 = clusters >= 4085;
    g.clusterBytes = sectorBytes * perCluster;
    g.fatStart = std::uint64_t{reserved} * sectorBytes;
    g.rootStart = g.fatStart + std::uint64_t{fats} * fatSectors * sectorBytes;
    g.rootBytes = std::uint64_t{rootEntries} * kDirEntry;
    g.dataStart = g.rootStart + rootSectors * sectorBytes;
    // A table too small for the clusters the disk claims describes only
    // those it has room for; the rest are out of reach.
    const std::uint64_t tableBytes = std::uint64_t{fatSectors} * sectorBytes;
    const std::uint64_t described = g.fat16 ? tableBytes / 2 : tableBytes * 2 / 3;
    g.clusterCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(clusters, described > 2 ? described - 2 : 0));
    if (g.clusterCount == 0) {
        return std::nullopt;
    }
    const std::uint64_t entries = std::uint64_t{g.clusterCount} + 2;
    g.fatBytes = g.fat16 ? entries * 2 : (entries * 3 + 1) / 2;
    return g;
}

// Code page 437, the DOS default, for short names' bytes above 127.
constexpr std::array<char16_t, 128> kCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// A stamp that names no day is no stamp; a time of day that is no time of
// day leaves the day at midnight.
std::int64_t StampOf(std::uint16_t date, std::uint16_t time)
{
    const unsigned year = 1980U + (date >> 9U);
    const unsigned month = (date >> 5U) & 15U;
    const unsigned day = date & 31U;
    if (date == 0 || month < 1 || month > 12 || day < 1) {
        return 0;
    }
    std::int64_t seconds = DaysFromCivil(year, month, day) * 86400;
    const unsigned hour = time >> 11U;
    const unsigned minute = (time >> 5U) & 63U;
    const unsigned second = (time & 31U) * 2U;
    if (hour < 24 && minute < 60 && second < 60) {
        seconds += hour * 3600 + minute * 60 + second;
    }
    return seconds;
}

std::uint8_t ShortNameChecksum(const std::uint8_t* name)
{
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) {
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + name[i]);
    }
    return sum;
}

// The pieces of a long name as they come, last piece first, each checked
// against the one before and, at the end, against the short name it belongs to.
class LongName {
public:
    void Reset() { next_ = 0; }

    void Add(const std::uint8_t* e)
    {
        const unsigned order = e[0] & 0x1FU;
        if ((e[0] & 0x40U) != 0) {
            if (order == 0 || order > 20) {
                Reset();
                return;
            }
            pieces_ = order;
            checksum_ = e[13];
        } else if (next_ == 0 || order != next_ || e[13] != checksum_) {
            Reset();
            return;
        }
        static constexpr int kPlaces[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (std::size_t i = 0; i < 13; ++i) {
            chars_[(order - 1) * 13 + i] = Le16(e + kPlaces[i]);
        }
        next_ = order - 1;
        if (next_ == 0) {
            next_ = kComplete;
        }
    }

    // The long name of this short entry in UTF-8, or nothing where the
    // pieces do not make a whole name of it.
    std::optional<std::string> For(const std::uint8_t* shortEntry)
    {
        const bool whole = next_ == kComplete && checksum_ == ShortNameChecksum(shortEntry);
        Reset();
        if (!whole) {
            return std::nullopt;
        }
        std::string name;
        const std::size_t count = std::size_t{pieces_} * 13;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t c = chars_[i];
            if (c == 0) {
                break;
            }
            if (c >= 0xD800 && c < 0xDC00) {
                const std::uint32_t low = i + 1 < count ? chars_[i + 1] : 0;
                if (low < 0xDC00 || low >= 0xE000) {
                    return std::nullopt;
                }
                AppendUtf8(name, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
            } else if (c >= 0xDC00 && c < 0xE000) {
                return std::nullopt;
            } else {
                AppendUtf8(name, c);
            }
        }
        if (name.empty()) {
            return std::nullopt;
        }
        return name;
    }

private:
    static constexpr unsigned kComplete = 0xFF;
    std::array<std::uint16_t, 20 * 13> chars_{};
    unsigned pieces_ = 0;
    unsigned next_ = 0;
    std::uint8_t checksum_ = 0;
};

std::string ShortNameOf(const std::uint8_t* e)
{
    const auto part = [e](std::size_t from, std::size_t length, bool lower) {
        std::size_t end = length;
        while (end > 0 && e[from + end - 1] == ' ') {
            --end;
        }
        std::string text;
        for (std::size_t i = 0; i < end; ++i) {
            std::uint8_t byte = e[from + i];
            if (from + i == 0 && byte == 0x05) {
                byte = 0xE5;  // a first byte of 0xE5 would mark the entry deleted
            }
            if (byte >= 0x80) {
                AppendUtf8(text, kCp437[byte - 0x80U]);
            } else {
                text += static_cast<char>(lower && byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
            }
        }
        return text;
    };
    // The case bits Windows keeps for names that need no long name.
    std::string name = part(0, 8, (e[12] & 0x08) != 0);
    const std::string extension = part(8, 3, (e[12] & 0x10) != 0);
    if (!extension.empty()) {
        name += '.' + extension;
    }
    return name;
}

struct Found {
    Entry entry;
    std::string shortName;
    std::uint32_t cluster = 0;
};

struct Folder {
    std::vector<Found> entries;
    std::string problem;
};

class Volume {
public:
    Volume(const ImageBytes& image, const Geometry& g) : image_(image), g_(g) {}

    bool Read(std::uint64_t offset, std::size_t size, std::uint8_t* into) const
    {
        if (offset > image_.size || size > image_.size - offset) {
            return false;
        }
        return size == 0 || image_.read(offset, size, into);
    }

    bool InRange(std::uint32_t cluster) const { return cluster >= 2 && cluster - 2 < g_.clusterCount; }
    std::uint32_t ClusterBytes() const { return g_.clusterBytes; }
    std::uint64_t ClusterAt(std::uint32_t cluster) const
    {
        return g_.dataStart + std::uint64_t{cluster - 2} * g_.clusterBytes;
    }

    // The table entry of a cluster in range: the next cluster, or a marker.
    std::optional<std::uint32_t> NextOf(std::uint32_t cluster, std::string& problem)
    {
        if (fat_.empty()) {
            fat_.resize(static_cast<std::size_t>(g_.fatBytes));
            if (!Read(g_.fatStart, fat_.size(), fat_.data())) {
                fat_.clear();
                problem = kCutShort;
                return std::nullopt;
            }
        }
        if (g_.fat16) {
            return Le16(&fat_[std::size_t{cluster} * 2]);
        }
        const std::size_t at = std::size_t{cluster} * 3 / 2;
        const std::uint32_t pair = Le16(&fat_[at]);
        return (cluster & 1U) != 0 ? pair >> 4 : pair & 0xFFFU;
    }

    bool IsEnd(std::uint32_t value) const { return value >= (g_.fat16 ? 0xFFF8U : 0xFF8U); }

    // Steps along a chain, each cluster at most once.
    class Walk {
    public:
        Walk(Volume& volume, std::uint32_t first) : volume_(volume), current_(first)
        {
            seen_.resize(std::size_t{volume.g_.clusterCount} + 2);
        }
        // The cluster to read now, or nothing with `problem` set (empty when
        // the chain ended where it should).
        std::optional<std::uint32_t> Take(const char* loopWords, std::string& problem)
        {
            if (ended_) {
                return std::nullopt;
            }
            if (!volume_.InRange(current_)) {
                problem = kTableDamaged;
                return std::nullopt;
            }
            if (seen_[current_]) {
                problem = loopWords;
                return std::nullopt;
            }
            seen_[current_] = true;
            const std::uint32_t taken = current_;
            const auto next = volume_.NextOf(taken, problem);
            if (!next) {
                return std::nullopt;
            }
            if (volume_.IsEnd(*next)) {
                ended_ = true;
            } else {
                current_ = *next;
            }
            return taken;
        }
        bool Ended() const { return ended_; }

    private:
        Volume& volume_;
        std::uint32_t current_;
        std::vector<bool> seen_;
        bool ended_ = false;
    };

    Folder Root()
    {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(g_.rootBytes));
        if (!Read(g_.rootStart, bytes.size(), bytes.data())) {
            return {{}, kCutShort};
        }
        Folder folder;
        LongName longName;
        Parse(bytes.data(), bytes.size(), folder, longName);
        return folder;
    }

    Folder Sub(std::uint32_t first)
    {
        Folder folder;
        LongName longName;
        Walk walk(*this, first);
        std::vector<std::uint8_t> bytes(g_.clusterBytes);
        std::uint64_t readBytes = 0;
        for (;;) {
            if (readBytes >= kLargestFolder) {
                return {{}, kFolderNeverEnds};
            }
            std::string problem;
            const auto cluster = walk.Take(kFolderLoops, problem);
            if (!cluster) {
                if (!problem.empty()) {
                    return {{}, problem};
                }
                return folder;  // the chain ended without an end mark: the folder ends with it
            }
            if (!Read(ClusterAt(*cluster), bytes.size(), bytes.data())) {
                return {{}, kCutShort};
            }
            readBytes += bytes.size();
            if (Parse(bytes.data(), bytes.size(), folder, longName)) {
                return folder;
            }
        }
    }

private:
    // True at the folder's end mark.
    static bool Parse(const std::uint8_t* bytes, std::size_t size, Folder& folder, LongName& longName)
    {
        for (std::size_t at = 0; at + kDirEntry <= size; at += kDirEntry) {
            const std::uint8_t* e = bytes + at;
            const std::uint8_t attributes = e[11];
            if (e[0] == 0x00) {
                return true;
            }
            if (e[0] == 0xE5) {
                longName.Reset();
                continue;
            }
            if ((attributes & 0x3F) == 0x0F) {
                longName.Add(e);
                continue;
            }
            if ((attributes & 0x08) != 0 || std::memcmp(e, ".          ", 11) == 0 ||
                std::memcmp(e, "..         ", 11) == 0) {
                longName.Reset();
                continue;
            }
            Found found;
            found.shortName = ShortNameOf(e);
            found.entry.name = longName.For(e).value_or(found.shortName);
            found.entry.folder = (attributes & 0x10) != 0;
            found.entry.size = found.entry.folder ? 0 : Le32(e + 28);
            found.entry.modified = StampOf(Le16(e + 24), Le16(e + 22));
            found.entry.refused = found.entry.name.empty() ? "it has no name" : names::RefusalOf(found.entry.name);
            found.cluster = Le16(e + 26);
            folder.entries.push_back(std::move(found));
        }
        return false;
    }

    const ImageBytes& image_;
    Geometry g_;
    std::vector<std::uint8_t> fat_;
};

std::string Quoted(const std::string& name)
{
    return '"' + name + '"';
}

// The folder's entries, or the entry a path names in it, with what went wrong.
struct Reached {
    Folder folder;
    std::optional<Found> last;
};

// Goes down `path`: each component but the last must be a folder; the last
// is looked up in the folder it is in.
Reached Reach(Volume& volume, const std::vector<std::string>& path)
{
    Reached reached;
    reached.folder = volume.Root();
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (!reached.folder.problem.empty()) {
            return reached;
        }
        const std::string& wanted = path[i];
        const auto match = std::find_if(reached.folder.entries.begin(), reached.folder.entries.end(),
                                        [&wanted](const Found& f) {
                                            return platform::EqualNoCase(wanted, f.entry.name) ||
                                                   platform::EqualNoCase(wanted, f.shortName);
                                        });
        if (match == reached.folder.entries.end()) {
            reached.folder = {{}, "there is no " + Quoted(wanted) + " on the disk image"};
            return reached;
        }
        if (!match->entry.refused.empty()) {
            reached.folder = {{}, "an entry on the disk image is not opened: " + match->entry.refused};
            return reached;
        }
        if (i + 1 == path.size()) {
            reached.last = *match;
            return reached;
        }
        if (!match->entry.folder) {
            reached.folder = {{}, Quoted(wanted) + " on the disk image is a file, not a folder"};
            return reached;
        }
        if (!volume.InRange(match->cluster)) {
            reached.folder = {{}, kTableDamaged};
            return reached;
        }
        reached.folder = volume.Sub(match->cluster);
    }
    return reached;
}

Listing List(const ImageBytes& image, const std::vector<std::string>& folder)
{
    const auto geometry = GeometryOf(image);
    if (!geometry) {
        return {{}, kNotFat};
    }
    Volume volume(image, *geometry);
    Reached reached = Reach(volume, folder);
    if (reached.last) {
        if (!reached.last->entry.folder) {
            return {{}, Quoted(reached.last->entry.name) + " on the disk image is a file, not a folder"};
        }
        if (!volume.InRange(reached.last->cluster)) {
            return {{}, kTableDamaged};
        }
        reached.folder = volume.Sub(reached.last->cluster);
    }
    if (!reached.folder.problem.empty()) {
        return {{}, reached.folder.problem};
    }
    Listing listing;
    listing.entries.reserve(reached.folder.entries.size());
    for (Found& found : reached.folder.entries) {
        listing.entries.push_back(std::move(found.entry));
    }
    return listing;
}

Contents Read(const ImageBytes& image, const std::vector<std::string>& file, std::size_t limit)
{
    const auto geometry = GeometryOf(image);
    if (!geometry) {
        return {{}, kNotFat};
    }
    if (file.empty()) {
        return {{}, "no file on the disk image was named"};
    }
    Volume volume(image, *geometry);
    const Reached reached = Reach(volume, file);
    if (!reached.folder.problem.empty()) {
        return {{}, reached.folder.problem};
    }
    const Found& found = *reached.last;
    if (found.entry.folder) {
        return {{}, Quoted(found.entry.name) + " on the disk image is a folder, not a file"};
    }
    if (found.entry.size > limit) {
        return {{}, Quoted(found.entry.name) + " is " + std::to_string(found.entry.size) +
                        " bytes long, more than the " + std::to_string(limit) + " read from a disk image"};
    }
    const auto size = static_cast<std::size_t>(found.entry.size);
    Contents contents;
    if (size == 0) {
        return contents;
    }
    contents.bytes.resize(size);
    auto* into = reinterpret_cast<std::uint8_t*>(contents.bytes.data());
    Volume::Walk walk(volume, found.cluster);
    std::size_t done = 0;
    while (done < size) {
        std::string problem;
        const auto cluster = walk.Take(kFileLoops, problem);
        if (!cluster) {
            return {{}, problem.empty() ? kFileEndsEarly : problem};
        }
        const std::size_t piece = std::min<std::size_t>(volume.ClusterBytes(), size - done);
        if (!volume.Read(volume.ClusterAt(*cluster), piece, into + done)) {
            return {{}, kCutShort};
        }
        done += piece;
        if (done < size && walk.Ended()) {
            return {{}, kFileEndsEarly};
        }
    }
    return contents;
}

}  // namespace

ImageBytes BytesOf(std::string_view image)
{
    return {[image](std::uint64_t offset, std::size_t size, std::uint8_t* into) {
                if (offset > image.size() || size > image.size() - offset) {
                    return false;
                }
                if (size != 0) {
                    std::memcpy(into, image.data() + offset, size);
                }
                return true;
            },
            image.size()};
}

bool LooksLikeFatImage(const ImageBytes& image)
{
    try {
        return GeometryOf(image).has_value();
    } catch (...) {
        return false;
    }
}

Listing ListFatFolder(const ImageBytes& image, const std::vector<std::string>& folder)
{
    try {
        return List(image, folder);
    } catch (...) {
        return {{}, kUnreadable};
    }
}

Contents ReadFatFile(const ImageBytes& image, const std::vector<std::string>& file, std::size_t limit)
{
    try {
        return Read(image, file, limit);
    } catch (...) {
        return {{}, kUnreadable};
    }
}

}  // namespace containers
