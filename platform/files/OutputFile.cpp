#include "platform/files/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/files/Descriptor.h"

namespace {

using platform::files::WriteAll;

std::string Reason(int error) { return std::strerror(error); }

// The umask without changing it: umask() would, for every thread at once.
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

// Terminals, pipes and devices: opened where they are, never made or
// renamed over. A pipe without a reader would block the open for ever, so
// it is opened without waiting and refused.
std::string WriteInPlace(const std::string& path, const std::uint8_t* data, std::size_t size, bool truncate)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (truncate ? O_TRUNC : 0));
    if (fd < 0) {
        return errno == ENXIO ? "nothing is reading from it" : Reason(errno);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    bool ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && WriteAll(fd, data, size);
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    return ok ? std::string() : Reason(error != 0 ? error : EIO);
}

// A temporary file of this process's own (O_EXCL), removed unless it was
// renamed into place.
class TempFile {
public:
    explicit TempFile(std::string pattern) : path_(std::move(pattern)), fd_(::mkstemp(path_.data())), made_(fd_ >= 0) {}
    ~TempFile()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (made_ && !kept_) {
            ::unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Made() const { return made_; }
    int Fd() const { return fd_; }
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    const std::string& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    int fd_;
    bool made_;
    bool kept_ = false;
};

// `target` is a regular file (`old` its status) or a new name in a folder.
std::string ReplaceWhole(const std::filesystem::path& target, const struct stat* old, const std::uint8_t* data,
                         std::size_t size, const std::string& shownPath)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    TempFile temp((folder / ("." + target.filename().string() + ".XXXXXX")).string());
    if (!temp.Made()) {
        return Reason(errno);
    }
    const mode_t mode = old != nullptr ? (old->st_mode & 07777) : (0666 & ~CurrentUmask());
    if (::fchmod(temp.Fd(), mode) != 0) {
        return Reason(errno);
    }
    if (old != nullptr && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(temp.Fd(), old->st_uid, old->st_gid) != 0) {
        // Renaming would hand someone else's file to us: write into it instead.
        return WriteInPlace(shownPath, data, size, true);
    }
    if (!WriteAll(temp.Fd(), data, size) || ::fsync(temp.Fd()) != 0) {
        return Reason(errno);
    }
    if (!temp.Close()) {
        return Reason(errno);
    }
    if (::rename(temp.Path().c_str(), target.c_str()) != 0) {
        return Reason(errno);
    }
    temp.Keep();
    return {};
}

}  // namespace

std::string WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return "it is a folder";
        }
        if (!S_ISREG(st.st_mode)) {
            return WriteInPlace(path, data, size, false);
        }
        if (::access(path.c_str(), W_OK) != 0) {
            return Reason(errno);
        }
        char real[PATH_MAX];
        if (::realpath(path.c_str(), real) == nullptr) {
            return Reason(errno);
        }
        return ReplaceWhole(real, &st, data, size, path);
    }
    if (errno != ENOENT) {
        return Reason(errno);
    }
    // A new name, or a link (through links) to one: made where the last link points.
    std::filesystem::path target = path;
    for (int hops = 0;; ++hops) {
        struct stat link {};
        if (::lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            break;
        }
        if (hops == 40) {
            return Reason(ELOOP);
        }
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) {
            return ec.message();
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return ReplaceWhole(target, nullptr, data, size, path);
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
