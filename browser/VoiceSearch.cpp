#include "browser/VoiceSearch.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_set>

#include "browser/FolderListing.h"
#include "browser/VoiceIndex.h"
#include "containers/ContainerPaths.h"
#include "platform/NoCase.h"
#include "platform/files/WinFiles.h"
#include "voice/EXException.h"
#include "voice/Family.h"
#include "voice/VoiceFile.h"
#include "voice/VoiceList.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace browser {

namespace {

#ifdef _WIN32
constexpr char kLocalSeparator = '\\';
#else
constexpr char kLocalSeparator = '/';
#endif

// A stamp this close to the search's start may belong to a change still
// going on, or be followed within the same tick of a coarse clock by one
// that leaves it as it is: such a file or listing is used, not kept.
constexpr std::int64_t kSettleNanoseconds = 2'000'000'000;

struct Status {
    bool found = false;
    bool folder = false;
    bool regular = false;
    Stamp stamp;
    // Two paths of one folder have one identity (a link back up the tree).
    std::string identity;
};

#ifdef _WIN32
std::int64_t Nanoseconds(std::filesystem::file_time_type time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

std::int64_t Now() { return Nanoseconds(std::filesystem::file_time_type::clock::now()); }

Status StatusOf(const std::string& local)
{
    Status status;
    std::error_code ec;
    const std::filesystem::file_status kind = std::filesystem::status(local, ec);
    if (ec) {
        return status;
    }
    status.found = true;
    status.folder = std::filesystem::is_directory(kind);
    status.regular = std::filesystem::is_regular_file(kind);
    if (status.regular) {
        status.stamp.size = std::filesystem::file_size(local, ec);
    }
    status.stamp.modified = Nanoseconds(std::filesystem::last_write_time(local, ec));
    if (status.folder) {
        const std::filesystem::path canonical = std::filesystem::canonical(local, ec);
        status.identity = ec ? local : canonical.string();
    }
    return status;
}
#else
std::int64_t Nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Status StatusOf(const std::string& local)
{
    Status status;
    struct stat found {};
    if (::stat(local.c_str(), &found) != 0) {
        return status;
    }
    status.found = true;
    status.folder = S_ISDIR(found.st_mode);
    status.regular = S_ISREG(found.st_mode);
    status.stamp.size = static_cast<std::uint64_t>(found.st_size);
    status.stamp.modified = Nanoseconds(found.st_mtim);
    status.stamp.changed = Nanoseconds(found.st_ctim);
    status.identity = std::to_string(found.st_dev) + ':' + std::to_string(found.st_ino);
    return status;
}
#endif

std::string Join(const std::string& folder, std::string_view name, char separator)
{
    std::string path = folder;
    if (path.empty() || path.back() != separator) {
        path += separator;
    }
    path += name;
    return path;
}

std::string WithSeparator(std::string path, char separator)
{
    if (path.empty() || path.back() != separator) {
        path += separator;
    }
    return path;
}

std::string Replaced(std::string text, char from, char to)
{
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// A voice file found: the path it is shown by and its voices' bytes.
struct Found {
    std::string shown;
    std::string_view voices;
};

class Walk {
public:
    Walk(const SearchRequest& request, VoiceIndex& index, SearchResult& result, char shownSeparator)
        : request_(request),
          index_(index),
          result_(result),
          shownSeparator_(shownSeparator),
          settledBefore_(Now() - kSettleNanoseconds),
          image_(std::make_unique<BankImage>())
    {
    }

    bool Cancelled()
    {
        if (request_.cancel != nullptr && request_.cancel->load()) {
            result_.cancelled = true;
        }
        return result_.cancelled;
    }

    void LocalFolder(const std::string& shown, const std::string& local, const Status& status, int depth)
    {
        if (Cancelled() || !visited_.insert(status.identity).second) {
            return;  // a link back to a folder already searched
        }
        if (depth > kDeepestFolder) {
            Problem(shown, "is too deep in folders; not searched");
            return;
        }
        const IndexedFolder* known = index_.Folder(local, status.stamp);
        if (known != nullptr && !WatchedChanged(local, *known)) {
            ++result_.stats.foldersFromIndex;
        } else {
            known = nullptr;
        }
        IndexedFolder listed;
        if (known == nullptr) {
            listed = List(shown, local, status);
        }
        const IndexedFolder& folder = known != nullptr ? *known : listed;
        // Copied: the walk below adds records to the index.
        const std::vector<std::string> voiceFiles = folder.voiceFiles;
        const std::vector<std::string> subfolders = folder.subfolders;
        for (const std::string& name : voiceFiles) {
            if (Cancelled()) {
                return;
            }
            if (Nameable(shown, name)) {
                const std::string path = Join(local, name, kLocalSeparator);
                const Status file = StatusOf(path);
                if (!file.found) {
                    Problem(shown + name, "is not there any more");
                } else if (!file.folder) {
                    File(shown + name, path, file.stamp);
                }
            }
        }
        for (const std::string& name : subfolders) {
            if (Cancelled()) {
                return;
            }
            if (!Nameable(shown, name)) {
                continue;
            }
            const std::string path = Join(local, name, kLocalSeparator);
            const Status sub = StatusOf(path);
            const std::string subShown = shown + name + shownSeparator_;
            if (sub.folder) {
                LocalFolder(subShown, path, sub, depth + 1);
            } else if (sub.regular) {
                Container(subShown, path, sub.stamp, depth + 1);
            }
        }
    }

    // A disk image or an archive, or a folder in one (`local` is the
    // container's path of this system and the names inside it).
    void Container(const std::string& shown, const std::string& local, const Stamp& stamp, int depth)
    {
        if (Cancelled()) {
            return;
        }
        std::vector<std::string> voiceFiles;
        if (const IndexedFolder* known = index_.Folder(local, stamp)) {
            ++result_.stats.foldersFromIndex;
            voiceFiles = known->voiceFiles;
        } else {
            bool whole = true;
            ListInside(local, std::string(), depth, voiceFiles, whole);
            if (whole && Settled(stamp)) {
                index_.PutFolder(local, IndexedFolder{stamp, {}, voiceFiles, {}});
            }
        }
        for (const std::string& inner : voiceFiles) {
            if (Cancelled()) {
                return;
            }
            File(shown + Replaced(inner, '/', shownSeparator_), Join(local, Replaced(inner, '/', kLocalSeparator),
                                                                     kLocalSeparator),
                 stamp);
        }
    }

    std::vector<Found>& Files() { return found_; }

private:
    bool Settled(const Stamp& stamp) const { return stamp.modified < settledBefore_; }

    void Problem(const std::string& path, std::string reason)
    {
        result_.problems.push_back(SearchProblem{path, std::move(reason)});
    }

    // A name with a '\' in it cannot be part of a Windows path.
    bool Nameable(const std::string& shown, const std::string& name)
    {
        if (shownSeparator_ == kLocalSeparator || name.find(shownSeparator_) == std::string::npos) {
            return true;
        }
        Problem(shown + name, "cannot be named in a Windows path; not searched");
        return false;
    }

    bool WatchedChanged(const std::string& local, const IndexedFolder& folder) const
    {
        return std::any_of(folder.watched.begin(), folder.watched.end(), [&](const auto& watched) {
            return !(StatusOf(Join(local, watched.first, kLocalSeparator)).stamp == watched.second);
        });
    }

    IndexedFolder List(const std::string& shown, const std::string& local, const Status& status)
    {
        ++result_.stats.foldersListed;
        const std::string folderPath = WithSeparator(local, kLocalSeparator);
        IndexedFolder listed;
        listed.stamp = status.stamp;
        listed.subfolders = FindSubfolders(folderPath);
        const std::set<std::string> folders(listed.subfolders.begin(), listed.subfolders.end());
        for (std::string& name : FindVoiceFiles(folderPath)) {
            if (folders.count(name) == 0) {
                listed.voiceFiles.push_back(std::move(name));
            }
        }
        if (listed.subfolders.empty() && listed.voiceFiles.empty()) {
            if (const std::string problem = ListingProblem(folderPath); !problem.empty()) {
                Problem(shown, problem);
                return listed;
            }
        }
        // A file that is, or is named like, a disk image or an archive can
        // become one or stop being one without the folder changing.
        std::error_code ec;
        for (std::filesystem::directory_iterator entry(local, ec), end; !ec && entry != end; entry.increment(ec)) {
            const std::string name = entry->path().filename().string();
            if (containers::MayBeContainer(name)) {
                const Status file = StatusOf(Join(local, name, kLocalSeparator));
                if (file.regular) {
                    listed.watched.emplace_back(name, file.stamp);
                }
            }
        }
        if (Settled(status.stamp)) {
            index_.PutFolder(local, listed);
        }
        return listed;
    }

    // The voice files of a folder inside a container and of its folders,
    // as paths below the container's folder `top`.
    void ListInside(const std::string& top, const std::string& inner, int depth, std::vector<std::string>& voiceFiles,
                    bool& whole)
    {
        if (Cancelled()) {
            whole = false;
            return;
        }
        const std::string folderPath =
            WithSeparator(inner.empty() ? top : Join(top, Replaced(inner, '/', kLocalSeparator), kLocalSeparator),
                          kLocalSeparator);
        if (depth > kDeepestFolder) {
            Problem(folderPath, "is too deep in folders; not searched");
            return;
        }
        ++result_.stats.foldersListed;
        const std::vector<std::string> subfolders = FindSubfolders(folderPath);
        const std::set<std::string> folders(subfolders.begin(), subfolders.end());
        std::vector<std::string> names = FindVoiceFiles(folderPath);
        if (inner.empty() && subfolders.empty() && names.empty()) {
            if (const std::string problem = ListingProblem(folderPath); !problem.empty()) {
                whole = false;
                Problem(folderPath, problem);
                return;
            }
        }
        for (const std::string& name : names) {
            if (folders.count(name) == 0) {
                voiceFiles.push_back(inner.empty() ? name : inner + '/' + name);
            }
        }
        for (const std::string& name : subfolders) {
            ListInside(top, inner.empty() ? name : inner + '/' + name, depth + 1, voiceFiles, whole);
        }
    }

    void File(const std::string& shown, const std::string& local, const Stamp& stamp)
    {
        if (const std::optional<IndexedFile> known = index_.File(local, stamp)) {
            ++result_.stats.filesFromIndex;
            found_.push_back(Found{shown, known->voices});
            return;
        }
        ++result_.stats.filesRead;
        try {
            ReadVoiceBankFile(local, *image_);
        } catch (EXException* raised) {
            const std::unique_ptr<EXException> e(raised);
            Problem(shown, ReadFailureText(e.get(), local));
            index_.Forget(local);
            return;
        } catch (const std::bad_alloc&) {
            Problem(shown, "Out of memory");
            return;
        }
        std::string voices = IndexedVoices(*image_);
        if (Settled(stamp)) {
            index_.PutFile(local, stamp, voices);
        }
        own_.push_back(std::move(voices));
        found_.push_back(Found{shown, own_.back()});
    }

    const SearchRequest& request_;
    VoiceIndex& index_;
    SearchResult& result_;
    char shownSeparator_;
    std::int64_t settledBefore_;
    std::unique_ptr<BankImage> image_;
    std::unordered_set<std::string> visited_;
    std::vector<Found> found_;
    std::deque<std::string> own_;
};

// ASCII case folded by a look-up: run for every byte of every name.
constexpr std::array<unsigned char, 256> kFolded = [] {
    std::array<unsigned char, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        table[byte] = platform::FoldCase(static_cast<char>(byte));
    }
    return table;
}();

unsigned char Folded(char c) { return kFolded[static_cast<unsigned char>(c)]; }

// Whether the name of at most `bank::kNameSize` bytes at `name` (ending at
// its first NUL, as the list line's does) holds `folded`, already folded,
// ignoring ASCII case. Run for every voice of a collection: kept inline. A
// place that reaches past the NUL cannot match (the text holds none), so
// the name's length is never counted first.
bool NameHolds(const char* name, std::string_view folded)
{
    const std::size_t length = folded.size();
    if (length == 0) {
        return true;
    }
    if (length > bank::kNameSize) {
        return false;
    }
    const auto first = static_cast<unsigned char>(folded[0]);
    for (std::size_t at = 0; at + length <= bank::kNameSize; ++at) {
        const unsigned char here = Folded(name[at]);
        if (here == '\0') {
            return false;
        }
        if (here != first) {
            continue;
        }
        std::size_t i = 1;
        while (i < length && Folded(name[at + i]) == static_cast<unsigned char>(folded[i])) {
            ++i;
        }
        if (i == length) {
            return true;
        }
    }
    return false;
}

void Match(const SearchRequest& request, std::vector<Found>& files, std::vector<VoiceHit>& hits)
{
    std::sort(files.begin(), files.end(), [](const Found& a, const Found& b) { return a.shown < b.shown; });
    std::string folded;
    for (char c : request.text) {
        folded.push_back(static_cast<char>(platform::FoldCase(c)));
    }
    // Whether a category byte makes the wanted code: -1 not yet known.
    std::array<int, 256> categoryMatches{};
    categoryMatches.fill(-1);
    const auto scratch = std::make_unique<BankImage>();
    for (const Found& file : files) {
        for (int voice = 0; voice < static_cast<int>(bank::kVoiceCount); ++voice) {
            const char* bytes = file.voices.data() + kIndexedVoiceBytes * static_cast<std::size_t>(voice);
            const auto category = static_cast<unsigned char>(bytes[bank::kNameSize]);
            if (categoryMatches[category] == 0 || !NameHolds(bytes, folded)) {
                continue;
            }
            RestoreVoice(file.voices, voice, *scratch);
            if (!request.showInits && IsInitVoice(*scratch, voice)) {
                continue;
            }
            VoiceHit hit{file.shown, voice, VoiceListLine(*scratch, voice)};
            if (!request.category.empty() && categoryMatches[category] < 0) {
                categoryMatches[category] = platform::EqualNoCase(hit.Category(), request.category) ? 1 : 0;
            }
            if (request.category.empty() || categoryMatches[category] == 1) {
                hits.push_back(std::move(hit));
            }
        }
    }
}

std::string StripSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == kLocalSeparator) {
        path.pop_back();
    }
    return path;
}

// The path a local one is shown by: its Windows path where a letter holds it.
std::string ShownOf(const std::string& local)
{
    const std::optional<std::string> windows = platform::ToWindowsPath(local);
    return windows ? *windows : local;
}

}  // namespace

std::string_view VoiceHit::Category() const
{
    return std::string_view(line).substr(0, line.find('\t'));
}

std::string_view VoiceHit::BankNumber() const
{
    const std::size_t first = line.find('\t');
    const std::size_t second = line.find('\t', first + 1);
    return first == std::string::npos ? std::string_view() : std::string_view(line).substr(first + 1, second - first - 1);
}

std::string_view VoiceHit::Name() const
{
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    return second == std::string::npos ? std::string_view() : std::string_view(line).substr(second + 1);
}

std::vector<std::string> CategoryCodes()
{
    const EX5Info family;
    std::vector<std::string> codes;
    for (unsigned index = 0; index < EX5Info::kCategoryCount; ++index) {
        const std::string code = family.GetCategoryCode(index);
        codes.push_back(code == "--" ? "xx" : code);
    }
    return codes;
}

SearchResult SearchVoices(const SearchRequest& request)
{
    SearchResult result;
    const bool windows = platform::IsWindowsPath(request.folder);
    // Where the walk starts: the key of the folder in the index, and the
    // path its files are shown under.
    std::string rootKey;
    std::string shown;
    Status root;
    const std::optional<containers::Located> inside = containers::Locate(request.folder);
    if (inside) {
        const containers::Listing listing = containers::ListInside(*inside);
        root = StatusOf(inside->container);
        if (!listing.problem.empty() || !root.regular) {
            result.problem = "Cannot read the folder: " +
                             (listing.problem.empty() ? std::string("it cannot be read") : listing.problem);
            return result;
        }
        rootKey = inside->container;
        shown = windows ? request.folder : ShownOf(inside->container);
        for (const std::string& name : inside->inside) {
            rootKey = Join(rootKey, name, kLocalSeparator);
            if (!windows) {
                shown = Join(shown, name, platform::IsWindowsPath(shown) ? '\\' : kLocalSeparator);
            }
        }
    } else {
        const std::optional<std::string> local = platform::ToLocalPath(request.folder);
        root = local ? StatusOf(*local) : Status();
        if (!root.folder) {
            result.problem = "Cannot find the folder";
            return result;
        }
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(*local, ec);
        rootKey = StripSeparators(ec ? *local : absolute.lexically_normal().string());
        shown = windows ? request.folder : ShownOf(rootKey);
    }
    const char separator = platform::IsWindowsPath(shown) ? '\\' : kLocalSeparator;
    shown = WithSeparator(shown, separator);

    const std::filesystem::path indexFile = !request.useIndex          ? std::filesystem::path()
                                            : request.indexFile.empty() ? VoiceIndex::DefaultFile()
                                                                        : request.indexFile;
    VoiceIndex index(indexFile);
    Walk walk(request, index, result, separator);
    if (inside) {
        walk.Container(shown, rootKey, root.stamp, 0);
    } else {
        walk.LocalFolder(shown, rootKey, root, 0);
    }
    Match(request, walk.Files(), result.hits);
    // A search stopped half-way has not seen what it did not reach.
    if (!result.cancelled) {
        index.DropUnseenBelow(rootKey, kLocalSeparator);
    }
    result.stats.indexWritten = index.Changed() && index.Save();
    return result;
}

}  // namespace browser
