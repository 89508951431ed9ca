#include "platform/files/Descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::files {

void Descriptor::CloseIfOpen(int fd)
{
    if (fd >= 0) {
        ::close(fd);
    }
}

Descriptor OpenForReading(const std::string& localPath)
{
    const int fd = ::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    return Descriptor(fd, fd < 0 ? errno : 0);
}

Descriptor Adopt(int fd) { return Descriptor(fd, fd < 0 ? errno : 0); }

FileKind KindOf(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return FileKind::Unknown;
    }
    if (S_ISREG(status.st_mode)) {
        return FileKind::Regular;
    }
    return S_ISDIR(status.st_mode) ? FileKind::Folder : FileKind::Other;
}

std::optional<std::uint64_t> PositionOf(int fd)
{
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    return position < 0 ? std::nullopt : std::optional<std::uint64_t>(static_cast<std::uint64_t>(position));
}

bool SeekTo(int fd, std::uint64_t offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0; }

std::optional<std::size_t> ReadUpTo(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadProblem(const std::string& localPath)
{
    const Descriptor file = OpenForReading(localPath);
    return file ? std::string() : std::strerror(file.Error());
}

std::string WriteProblem(const std::filesystem::path& path)
{
    struct stat status {};
    const bool folder = ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    return ::access(path.c_str(), W_OK | (folder ? X_OK : 0)) == 0 ? std::string() : std::strerror(errno);
}

}  // namespace platform::files
