#include "platform/files/DriveTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/NoCase.h"
#include "platform/files/Descriptor.h"
#include "platform/files/WinFiles.h"
#include "platform/system/System.h"

namespace platform::files {

namespace {

constexpr const char* kDrivesFile = "drives.txt";
constexpr char kFirstMountLetter = 'D';
constexpr char kLastMountLetter = 'Y';

std::size_t Index(char letter)
{
    return static_cast<std::size_t>(letter - 'A');
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// Far more than any mount table or "drives.txt" a machine has.
constexpr std::size_t kMaxTableText = std::size_t{64} << 20;

// The whole file, or empty.
std::string ReadFile(const std::string& path)
{
    std::string text;
    if (const Descriptor file = OpenForReading(path)) {
        ReadAll(file.Get(), text, kMaxTableText);
    }
    return text;
}

// Whether `path` lies in the folder `folder` (or is it), by components.
bool Within(std::string_view path, std::string_view folder)
{
    if (folder == "/") {
        return !path.empty() && path.front() == '/';
    }
    return path.substr(0, folder.size()) == folder && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Mount points where a user keeps files: strictly below one of these.
bool IsUserMount(const std::string& mountPoint, const std::string& user)
{
    std::vector<std::string> prefixes{"/mnt/"};
    if (!user.empty()) {
        prefixes.push_back("/media/" + user + "/");
        prefixes.push_back("/run/media/" + user + "/");
    }
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
        return mountPoint.size() > prefix.size() && mountPoint.compare(0, prefix.size(), prefix) == 0;
    });
}

// The last mount whose folder holds `folder`: the one that is seen there.
const Mount* MountHolding(const std::vector<Mount>& mounts, const std::string& folder)
{
    const Mount* best = nullptr;
    for (const Mount& mount : mounts) {
        if (Within(folder, mount.mountPoint) && (best == nullptr || mount.mountPoint.size() >= best->mountPoint.size())) {
            best = &mount;
        }
    }
    return best;
}

// "drives.txt": one "X=/mount/point" a line, the folder escaped as in mountinfo.
std::map<char, std::string> ParseDrivesFile(std::string_view text)
{
    std::map<char, std::string> letters;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.size() < 3 || line[1] != '=') {
            continue;
        }
        const char letter = static_cast<char>(line[0] & ~0x20);
        if (letter < kFirstMountLetter || letter > kLastMountLetter || letters.count(letter) != 0) {
            continue;
        }
        std::string folder = UnescapeOctal(line.substr(2));
        if (folder.empty() || folder.front() != '/') {
            continue;
        }
        letters.emplace(letter, std::move(folder));
    }
    return letters;
}

std::string FormatDrivesFile(const std::map<char, std::string>& letters)
{
    std::string text =
        "# Drive letters of mounted file systems, kept so that a saved folder finds the same medium again.\n";
    for (const auto& [letter, folder] : letters) {
        text += letter;
        text += '=';
        text += EscapeOctal(folder);
        text += '\n';
    }
    return text;
}

// Replaces the file whole, so a reader never sees half of it. Two programs
// assigning at once see the same mount table and the same file, and so
// write the same letters.
void WriteDrivesFile(const std::string& settings, const std::map<char, std::string>& letters)
{
    if (settings.empty()) {
        return;
    }
    ::mkdir(settings.c_str(), 0700);
    const std::string file = settings + "/" + kDrivesFile;
    const std::string temporary = file + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    const std::string text = FormatDrivesFile(letters);
    bool written = WriteAll(fd, text.data(), text.size());
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
    }
}

void PlaceFolder(DriveSlot& slot, const std::string& folder, const std::vector<Mount>& mounts,
                 const std::string& sysfs, bool alwaysFixed)
{
    slot.present = true;
    slot.folder = folder;
    const Mount* holder = MountHolding(mounts, folder);
    slot.type = (alwaysFixed || holder == nullptr) ? DRIVE_FIXED : DriveTypeOfMount(*holder, sysfs);
    // A remote folder is never touched before the user opens it.
    slot.examine = slot.type != DRIVE_REMOTE;
}

// Drops trailing slashes, keeping "/" itself.
std::string Trimmed(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileStamp Of(const std::string& path)
    {
        FileStamp stamp;
        struct stat status {};
        if (!path.empty() && ::stat(path.c_str(), &status) == 0) {
            stamp.exists = true;
            stamp.device = status.st_dev;
            stamp.inode = status.st_ino;
            stamp.size = status.st_size;
            stamp.modified = status.st_mtim;
        }
        return stamp;
    }
    bool operator==(const FileStamp& other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

// Notices changes of the mount table without reading it: the kernel's own
// table signals a change to poll(); a test's file is looked at with stat().
class MountWatch {
public:
    // Opens `path` afresh and reads it.
    std::string Open(const std::string& path)
    {
        path_ = path;
        std::string text;
        file_ = OpenForReading(path);
        if (!file_) {
            stamp_ = FileStamp::Of(path);
            return text;
        }
        struct statfs system {};
        kernel_ = ::fstatfs(file_.Get(), &system) == 0 && system.f_type == 0x9fa0;  // PROC_SUPER_MAGIC
        if (!kernel_) {
            stamp_ = FileStamp::Of(path);
        }
        ReadAll(file_.Get(), text, kMaxTableText);
        return text;
    }

    bool Changed() const
    {
        if (file_ && kernel_) {
            pollfd watch{file_.Get(), POLLPRI, 0};
            return ::poll(&watch, 1, 0) != 0;
        }
        return !(FileStamp::Of(path_) == stamp_);
    }

private:
    std::string path_;
    Descriptor file_;
    bool kernel_ = false;
    FileStamp stamp_;
};

struct Cache {
    std::mutex lock;
    bool built = false;
    DriveSources sources;
    MountWatch mounts;
    FileStamp drivesFile;
    std::shared_ptr<const DriveTable> table;
};

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

std::string DrivesFilePath(const DriveSources& sources)
{
    return sources.settings.empty() ? std::string() : sources.settings + "/" + kDrivesFile;
}

}  // namespace

DriveSources CurrentDriveSources()
{
    DriveSources sources;
    const char* drives = std::getenv("SONDERIK_DRIVES");
    sources.replaced = drives != nullptr;
    sources.drives = drives == nullptr ? std::string() : std::string(drives);
    sources.mountInfo = Env("SONDERIK_MOUNTINFO");
    if (sources.mountInfo.empty()) {
        sources.mountInfo = "/proc/self/mountinfo";
    }
    sources.sysfs = Env("SONDERIK_SYSFS");
    if (sources.sysfs.empty()) {
        sources.sysfs = "/sys";
    }
    sources.gvfs = Env("SONDERIK_GVFS");
    if (sources.gvfs.empty()) {
        sources.gvfs = "/run/user/" + std::to_string(::getuid()) + "/gvfs";
    }
    sources.settings = platform::SettingsFolder().string();
    sources.home = platform::HomeFolder().string();
    sources.user = platform::UserName();
    return sources;
}

namespace {

// "C=/some/folder;D=/other": the whole table, nothing remembered.
void PlaceReplacedDrives(DriveTable& table, const DriveSources& sources, const std::vector<Mount>& mounts)
{
    std::string_view rest = sources.drives;
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        const std::string_view item = rest.substr(0, semicolon);
        rest.remove_prefix(semicolon == std::string_view::npos ? rest.size() : semicolon + 1);
        if (item.size() < 3 || item[1] != '=') {
            continue;
        }
        const char letter = static_cast<char>(item[0] & ~0x20);
        if (letter < 'A' || letter > 'Z' || table.slots[Index(letter)].present) {
            continue;
        }
        PlaceFolder(table.slots[Index(letter)], Trimmed(std::string(item.substr(2))), mounts, sources.sysfs, false);
    }
}

// Each user mount point once, as the last mount over it shows it.
std::vector<const Mount*> UserMounts(const std::vector<Mount>& mounts, const std::string& user)
{
    std::vector<const Mount*> candidates;
    for (const Mount& mount : mounts) {
        if (!IsUserMount(mount.mountPoint, user)) {
            continue;
        }
        auto same = std::find_if(candidates.begin(), candidates.end(),
                                 [&](const Mount* seen) { return seen->mountPoint == mount.mountPoint; });
        if (same == candidates.end()) {
            candidates.push_back(&mount);
        } else {
            *same = &mount;
        }
    }
    return candidates;
}

// The remembered letters, with a new one for each mount that has none yet;
// true when one was given.
bool GiveLetters(std::map<char, std::string>& letters, const std::vector<const Mount*>& candidates)
{
    bool added = false;
    for (const Mount* mount : candidates) {
        auto known = std::find_if(letters.begin(), letters.end(),
                                  [&](const auto& entry) { return entry.second == mount->mountPoint; });
        if (known != letters.end()) {
            continue;
        }
        for (char letter = kFirstMountLetter; letter <= kLastMountLetter; ++letter) {
            if (letters.count(letter) == 0) {
                letters.emplace(letter, mount->mountPoint);
                added = true;
                break;
            }
        }
    }
    return added;
}

// C: the home folder, Z: the root, and the user's mounts under the letters
// they keep from run to run; a letter whose mount is absent stays reserved.
void PlaceOwnDrives(DriveTable& table, const DriveSources& sources, const std::vector<Mount>& mounts)
{
    if (!sources.home.empty()) {
        PlaceFolder(table.slots[Index('C')], Trimmed(sources.home), mounts, sources.sysfs, true);
    }
    PlaceFolder(table.slots[Index('Z')], "/", mounts, sources.sysfs, true);

    const std::vector<const Mount*> candidates = UserMounts(mounts, sources.user);
    std::map<char, std::string> letters = ParseDrivesFile(ReadFile(DrivesFilePath(sources)));
    if (GiveLetters(letters, candidates)) {
        WriteDrivesFile(sources.settings, letters);
    }
    for (const auto& [letter, folder] : letters) {
        DriveSlot& slot = table.slots[Index(letter)];
        auto mount = std::find_if(candidates.begin(), candidates.end(),
                                  [&path = folder](const Mount* m) { return m->mountPoint == path; });
        slot.folder = folder;
        if (mount == candidates.end()) {
            slot.reserved = true;
            continue;
        }
        slot.present = true;
        slot.type = DriveTypeOfMount(**mount, sources.sysfs);
    }
}

}  // namespace

DriveTable BuildDriveTable(const DriveSources& sources, std::string_view mountInfo)
{
    DriveTable table;
    const std::vector<Mount> mounts = ParseMountInfo(mountInfo);
    if (sources.replaced) {
        PlaceReplacedDrives(table, sources, mounts);
    } else {
        PlaceOwnDrives(table, sources, mounts);
    }
    for (const Mount& mount : mounts) {
        if (std::optional<Share> share = ShareOfMount(mount)) {
            table.mountedShares.push_back(std::move(*share));
        }
    }
    return table;
}

std::shared_ptr<const DriveTable> CurrentDriveTable()
{
    DriveSources sources = CurrentDriveSources();
    Cache& cache = TheCache();
    const std::lock_guard<std::mutex> hold(cache.lock);
    const FileStamp drivesFile = sources.replaced ? FileStamp{} : FileStamp::Of(DrivesFilePath(sources));
    if (cache.built && cache.sources == sources && !cache.mounts.Changed() && (sources.replaced || drivesFile == cache.drivesFile)) {
        return cache.table;
    }
    const std::string text = cache.mounts.Open(sources.mountInfo);
    cache.table = std::make_shared<const DriveTable>(BuildDriveTable(sources, text));
    cache.sources = std::move(sources);
    cache.drivesFile = FileStamp::Of(DrivesFilePath(cache.sources));
    cache.built = true;
    return cache.table;
}

char LetterOfFolder(const DriveTable& table, const std::string& folder)
{
    for (std::size_t i = 0; i < table.slots.size(); ++i) {
        if (table.slots[i].present && table.slots[i].folder == folder) {
            return static_cast<char>('A' + i);
        }
    }
    return 0;
}

std::vector<Share> CurrentShares(const DriveTable& table, const DriveSources& sources)
{
    std::vector<Share> shares = table.mountedShares;
    if (DIR* folder = ::opendir(sources.gvfs.c_str())) {
        while (const dirent* entry = ::readdir(folder)) {
            if (std::optional<Share> share = ShareOfGvfsFolder(entry->d_name, sources.gvfs)) {
                shares.push_back(std::move(*share));
            }
        }
        ::closedir(folder);
    }
    std::stable_sort(shares.begin(), shares.end(), [](const Share& a, const Share& b) {
        const int server = platform::CompareNoCase(a.server, b.server);
        return server != 0 ? server < 0 : platform::CompareNoCase(a.share, b.share) < 0;
    });
    // One share per remote name: the first mount of it.
    shares.erase(std::unique(shares.begin(), shares.end(),
                             [](const Share& a, const Share& b) {
                                 return platform::EqualNoCase(a.server, b.server) &&
                                        platform::EqualNoCase(a.share, b.share);
                             }),
                 shares.end());
    return shares;
}

}  // namespace platform::files
