#include "platform/registry/RegistryFile.h"

#include "platform/files/Descriptor.h"
#include "platform/system/System.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <optional>
#include <system_error>
#include <utility>

namespace {

using platform::files::WriteAll;

// What a set-aside file's name has between the root file's name and the time.
constexpr const char* kSetAsideMark = ".corrupt-";

// ---- files -----------------------------------------------------------------

enum class FileRead { Missing, Read, Unreadable, TooBig };

FileRead ReadFileBytes(const std::filesystem::path& path, std::string& out)
{
    out.clear();
    // Opened without waiting: a pipe put where the file should be must not stall the read.
    const platform::files::Descriptor file = platform::files::OpenForReading(path.string());
    if (!file) {
        return (file.Error() == ENOENT || file.Error() == ENOTDIR) ? FileRead::Missing : FileRead::Unreadable;
    }
    if (platform::files::KindOf(file.Get()) != platform::files::FileKind::Regular) {
        return FileRead::Unreadable;
    }
    switch (platform::files::ReadAll(file.Get(), out, kMaxRegistryFileSize)) {
    case platform::files::WholeRead::Read: return FileRead::Read;
    case platform::files::WholeRead::TooBig: return FileRead::TooBig;
    case platform::files::WholeRead::Failed: break;
    }
    return FileRead::Unreadable;
}

// The writers' lock of one root, held while this object lives. The kernel
// drops it when its process dies, so a killed writer never blocks the rest.
class WriterLock {
public:
    WriterLock() = default;
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    // The lock goes first: closing a watch can take the kernel milliseconds,
    // which no other writer should wait for.
    ~WriterLock() { lock_ = platform::files::Descriptor(); }

    // Waits at most `wait`. flock cannot wait with a limit, but a holder
    // releases the lock only by closing the lock file (or by dying, which
    // closes it), and inotify tells of every close: so this sleeps in poll
    // until a close or the deadline, and tries again. A holder on another
    // machine sharing a network folder closes unseen, so the lock is tried
    // every kRecheck as well; where inotify cannot be had, that is all.
    LSTATUS Acquire(const std::filesystem::path& path, std::chrono::milliseconds wait)
    {
        lock_ = platform::files::Adopt(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
        if (!lock_) {
            return ERROR_ACCESS_DENIED;
        }
        std::optional<LSTATUS> status = TryLock();
        if (status) {
            return *status;
        }
        // Watched before the next try, so that a release between the two is not missed.
        closes_ = WatchCloses(path);
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!(status = TryLock())) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return ERROR_TIMEOUT;
            }
            pollfd watch{closes_.Get(), POLLIN, 0};
            const int ready = ::poll(&watch, closes_ ? 1 : 0, static_cast<int>(std::min(left, kRecheck).count()));
            if (ready > 0) {
                DrainEvents(closes_.Get());
            }
        }
        return *status;
    }

private:
    // How often a waiter tries the lock when no close told it to.
    static constexpr std::chrono::milliseconds kRecheck{100};

    // The lock's answer, or nothing while another holds it.
    std::optional<LSTATUS> TryLock() const
    {
        if (::flock(lock_.Get(), LOCK_EX | LOCK_NB) == 0) {
            return ERROR_SUCCESS;
        }
        if (errno == EWOULDBLOCK || errno == EINTR) {
            return std::nullopt;
        }
        return ERROR_ACCESS_DENIED;
    }

    static platform::files::Descriptor WatchCloses(const std::filesystem::path& path)
    {
        platform::files::Descriptor watch = platform::files::Adopt(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
        if (watch && ::inotify_add_watch(watch.Get(), path.c_str(), IN_CLOSE) < 0) {
            return platform::files::Descriptor();
        }
        return watch;
    }

    // Empties the watch of the closes it told of, so that the next poll waits
    // for a new one. What they say does not matter, only that they came; any
    // left over wake the next poll at once, which only tries the lock again.
    static void DrainEvents(int fd)
    {
        alignas(inotify_event) char events[kEventBuffer];
        const ssize_t taken = ::read(fd, events, sizeof events);
        static_cast<void>(taken);
    }
    static constexpr std::size_t kEventBuffer = 4096;

    platform::files::Descriptor lock_;
    platform::files::Descriptor closes_;
};

std::atomic<WriteStageWatcher> writeWatcher{nullptr};

std::filesystem::path WithSuffix(const std::filesystem::path& file, std::string_view suffix)
{
    std::filesystem::path p = file;
    p += std::string(suffix);
    return p;
}

}  // namespace

// ---- where the files are ---------------------------------------------------

std::filesystem::path RegistryFolder()
{
    return platform::SettingsFolder();
}

// ---- files set aside -------------------------------------------------------

namespace {

std::set<std::string> SetAsideNames(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    if (folder.empty()) {
        return names;
    }
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        const auto mark = name.find(kSetAsideMark);
        if (mark != std::string::npos && mark >= 4 && name.compare(mark - 4, 4, ".txt") == 0) {
            names.insert(std::move(name));
        }
    }
    return names;
}

}  // namespace

SetAsideWatch::SetAsideWatch(std::filesystem::path folder)
    : folder_(std::move(folder)), before_(SetAsideNames(folder_))
{
}

std::vector<SetAsideWatch::SetAside> SetAsideWatch::Since() const
{
    std::vector<SetAside> found;
    for (const std::string& name : SetAsideNames(folder_)) {
        if (before_.count(name) == 0) {
            found.push_back({folder_ / name.substr(0, name.find(kSetAsideMark)), name});
        }
    }
    // A root's file that does not parse and is still there could not be
    // set aside (a folder this process may not write): it is read as empty
    // every time, and every reader should hear of it.
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder_, ec), end; !folder_.empty() && !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("HKEY_", 0) != 0 || name.size() < 9 || name.compare(name.size() - 4, 4, ".txt") != 0) {
            continue;
        }
        std::string text;
        const FileRead read = ReadFileBytes(it->path(), text);
        if (read == FileRead::TooBig ||
            (read == FileRead::Read && !RegistryHive::Parse(text, name.substr(0, name.size() - 4)))) {
            found.push_back({it->path(), std::string()});
        }
    }
    return found;
}

// ---- one root's file -------------------------------------------------------

HiveFile::HiveFile(std::filesystem::path folder, std::string rootName, std::chrono::milliseconds lockWait)
    : folder_(std::move(folder)), rootName_(std::move(rootName)), lockWait_(lockWait)
{
}

std::filesystem::path HiveFile::File() const { return folder_ / (rootName_ + ".txt"); }

std::filesystem::path HiveFile::Sibling(std::string_view suffix) const { return WithSuffix(File(), suffix); }

LSTATUS HiveFile::ReadUnlocked(RegistryHive& hive, bool& corrupt) const
{
    hive = RegistryHive();
    corrupt = false;
    if (folder_.empty()) {
        return ERROR_SUCCESS;
    }
    std::string text;
    switch (ReadFileBytes(File(), text)) {
    case FileRead::Missing:
        return ERROR_SUCCESS;
    case FileRead::Unreadable:
        return ERROR_CANTREAD;
    case FileRead::TooBig:
        corrupt = true;
        return ERROR_SUCCESS;
    case FileRead::Read:
        break;
    }
    std::optional<RegistryHive> parsed = RegistryHive::Parse(text, rootName_);
    if (parsed) {
        hive = std::move(*parsed);
    } else {
        corrupt = true;
    }
    return ERROR_SUCCESS;
}

LSTATUS HiveFile::Read(RegistryHive& hive) const
{
    bool corrupt = false;
    LSTATUS status = ReadUnlocked(hive, corrupt);
    if (status != ERROR_SUCCESS || !corrupt) {
        return status;
    }
    // Set it aside only if it is still the corrupt one: a writer may have
    // replaced it since. Where the folder allows no lock it stays put; it
    // reads as empty either way.
    WriterLock lock;
    if (lock.Acquire(folder_ / (rootName_ + ".lock"), lockWait_) == ERROR_SUCCESS) {
        status = ReadUnlocked(hive, corrupt);
        if (status == ERROR_SUCCESS && corrupt) {
            SetAside();
        }
    }
    if (corrupt) {
        hive = RegistryHive();
    }
    return status;
}

LSTATUS HiveFile::SetAside() const
{
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    char stamp[32] = "unknown-time";
    if (::gmtime_r(&now, &utc) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    }
    const std::filesystem::path base = Sibling(std::string(kSetAsideMark) + stamp);
    std::filesystem::path aside = base;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(aside, ec) || ec; ++n) {
        if (n > 1000 || ec) {
            return ERROR_CANTWRITE;
        }
        aside = WithSuffix(base, "-" + std::to_string(n));
    }
    return ::rename(File().c_str(), aside.c_str()) == 0 ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LSTATUS HiveFile::Update(const Change& change, std::string_view what) const
{
    if (folder_.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        return ERROR_ACCESS_DENIED;
    }
    WriterLock lock;
    LSTATUS status = lock.Acquire(folder_ / (rootName_ + ".lock"), lockWait_);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    RegistryHive hive;
    bool corrupt = false;
    status = ReadUnlocked(hive, corrupt);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Never write over a corrupt file: what it held would be lost unseen.
    if (corrupt && SetAside() != ERROR_SUCCESS) {
        return ERROR_REGISTRY_CORRUPT;
    }
    bool changed = false;
    status = change(hive, changed);
    if (status != ERROR_SUCCESS || !changed) {
        return status;
    }
    const std::string text = hive.Format(rootName_);
    if (text.size() > kMaxRegistryFileSize) {
        return ERROR_CANTWRITE;
    }
    return WriteWhole(text, what);
}

LSTATUS HiveFile::WriteWhole(const std::string& text, std::string_view what) const
{
    const WriteStageWatcher watcher = writeWatcher.load();
    const auto reached = [&](WriteStage stage) {
        if (watcher != nullptr) {
            watcher(stage, what);
        }
    };
    const std::filesystem::path temp = Sibling(".tmp");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        return ERROR_CANTWRITE;
    }
    struct stat old {};
    if (::stat(File().c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    // In two pieces only for a watcher, which may stop the process between them.
    const std::size_t half = watcher != nullptr ? text.size() / 2 : 0;
    bool ok = WriteAll(fd, text.data(), half);
    if (ok) {
        reached(WriteStage::HalfWritten);
    }
    ok = ok && WriteAll(fd, text.data() + half, text.size() - half) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        reached(WriteStage::Synced);
    }
    if (!ok || ::rename(temp.c_str(), File().c_str()) != 0) {
        ::unlink(temp.c_str());
        return ERROR_CANTWRITE;
    }
    reached(WriteStage::Renamed);
    return ERROR_SUCCESS;
}

void WatchRegistryWrites(WriteStageWatcher watcher)
{
    writeWatcher.store(watcher);
}

LSTATUS HiveFile::Flush() const
{
    if (folder_.empty()) {
        return ERROR_SUCCESS;
    }
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return errno == ENOENT ? ERROR_SUCCESS : ERROR_CANTWRITE;
    }
    const bool ok = ::fsync(dir) == 0;
    ::close(dir);
    return ok ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

bool HiveFile::Writable() const
{
    if (folder_.empty()) {
        return false;
    }
    // The nearest folder that exists decides: everything below it can be made.
    std::filesystem::path probe = folder_;
    std::error_code ec;
    while (!probe.empty() && !std::filesystem::exists(probe, ec)) {
        if (ec) {
            return false;
        }
        probe = probe.parent_path();
    }
    if (probe.empty()) {
        probe = ".";
    }
    return std::filesystem::is_directory(probe, ec) && ::access(probe.c_str(), W_OK | X_OK) == 0;
}
