#include "platform/files/Descriptor.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/files/DescriptorCalls.h"

namespace platform::files {

namespace {

template <typename Call>
long long UntilNotInterrupted(Call call)
{
    for (;;) {
        const ssize_t n = call();
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

}  // namespace

namespace detail {

long long ReadSome(int fd, void* data, std::size_t size)
{
    return UntilNotInterrupted([&] { return ::read(fd, data, size); });
}

long long WriteSome(int fd, const void* data, std::size_t size)
{
    return UntilNotInterrupted([&] { return ::write(fd, data, size); });
}

void Close(int fd) { ::close(fd); }

std::string ErrorText(int error) { return std::strerror(error); }

}  // namespace detail

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

std::string WriteProblem(const std::filesystem::path& path)
{
    struct stat status {};
    const bool folder = ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    return ::access(path.c_str(), W_OK | (folder ? X_OK : 0)) == 0 ? std::string() : std::strerror(errno);
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : data_(other.data_), size_(other.size_), mapped_(other.mapped_), read_(std::move(other.read_))
{
    if (!mapped_) {
        data_ = read_.data();
    }
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = false;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept
{
    if (this != &other) {
        if (mapped_ && size_ > 0) {
            ::munmap(const_cast<char*>(data_), size_);
        }
        mapped_ = other.mapped_;
        size_ = other.size_;
        read_ = std::move(other.read_);
        data_ = mapped_ ? other.data_ : read_.data();
        other.data_ = nullptr;
        other.size_ = 0;
        other.mapped_ = false;
    }
    return *this;
}

FileBytes::~FileBytes()
{
    if (mapped_ && size_ > 0) {
        ::munmap(const_cast<char*>(data_), size_);
    }
}

FileBytes ReadFileBytes(int fd, std::size_t limit)
{
    FileBytes bytes;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
        static_cast<std::uintmax_t>(status.st_size) > limit) {
        return bytes;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    if (size == 0) {
        return bytes;
    }
    void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (at == MAP_FAILED) {
        return bytes;
    }
    bytes.data_ = static_cast<const char*>(at);
    bytes.size_ = size;
    bytes.mapped_ = true;
    return bytes;
}

}  // namespace platform::files
