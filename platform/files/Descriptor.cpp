#include "platform/files/Descriptor.h"

#include <cerrno>
#include <utility>

#include "platform/files/DescriptorCalls.h"

namespace platform::files {

namespace {

constexpr std::size_t kReadPiece = 16384;

void CloseIfOpen(int fd)
{
    if (fd >= 0) {
        detail::Close(fd);
    }
}

}  // namespace

Descriptor::Descriptor(Descriptor&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0))
{
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        CloseIfOpen(fd_);
        fd_ = std::exchange(other.fd_, -1);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

Descriptor::~Descriptor() { CloseIfOpen(fd_); }

std::optional<std::size_t> ReadUpTo(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const long long n = detail::ReadSome(fd, bytes + got, size - got);
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

WholeRead ReadAll(int fd, std::string& text, std::size_t limit)
{
    text.clear();
    char piece[kReadPiece];
    for (;;) {
        const std::optional<std::size_t> got = ReadUpTo(fd, piece, sizeof piece);
        if (!got) {
            text.clear();
            return WholeRead::Failed;
        }
        if (text.size() + *got > limit) {
            text.clear();
            return WholeRead::TooBig;
        }
        text.append(piece, *got);
        if (*got < sizeof piece) {
            return WholeRead::Read;
        }
    }
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const long long n = detail::WriteSome(fd, bytes, size);
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
    return file ? std::string() : detail::ErrorText(file.Error());
}

}  // namespace platform::files
