#include "platform/files/Descriptor.h"

#include <utility>

namespace platform::files {

namespace {

constexpr std::size_t kReadPiece = 16384;

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

}  // namespace platform::files
