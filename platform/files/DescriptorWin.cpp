#include "platform/files/Descriptor.h"

#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#include "platform/WinErrors.h"
#include "platform/files/DescriptorCalls.h"

namespace platform::files {

namespace {

// _read and _write take an unsigned count and answer an int: bigger
// transfers go in pieces of this size.
constexpr std::size_t kLargestTransfer = INT_MAX;
// Looking at or reading a file must not stop anyone else from using it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Reason(DWORD error) { return std::system_category().message(static_cast<int>(error)); }

unsigned int Piece(std::size_t size)
{
    return static_cast<unsigned int>(size < kLargestTransfer ? size : kLargestTransfer);
}

}  // namespace

namespace detail {

long long ReadSome(int fd, void* data, std::size_t size) { return ::_read(fd, data, Piece(size)); }

long long WriteSome(int fd, const void* data, std::size_t size) { return ::_write(fd, data, Piece(size)); }

void Close(int fd) { ::_close(fd); }

std::string ErrorText(int error) { return Reason(static_cast<DWORD>(error)); }

}  // namespace detail

Descriptor OpenForReading(const std::string& localPath)
{
    // Through the system's own open, so that a folder opens too (KindOf then
    // says what it is) and the error is the system's.
    const HANDLE file = CreateFileA(localPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Descriptor(-1, static_cast<int>(GetLastError()));
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return Descriptor(-1, ERROR_TOO_MANY_OPEN_FILES);
    }
    return Descriptor(fd, 0);
}

Descriptor Adopt(int fd)
{
    // The C runtime keeps the system's code of a failed open beside errno.
    const unsigned long systemError = _doserrno;
    return Descriptor(fd, fd >= 0 ? 0 : static_cast<int>(systemError != 0 ? systemError : ERROR_INVALID_FUNCTION));
}

FileKind KindOf(int fd)
{
    const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) {
        return FileKind::Unknown;
    }
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION information{};
        if (GetFileInformationByHandle(file, &information) == FALSE) {
            return FileKind::Unknown;
        }
        return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder : FileKind::Regular;
    }
    case FILE_TYPE_CHAR:
    case FILE_TYPE_PIPE:
        return FileKind::Other;
    default:
        return GetLastError() == NO_ERROR ? FileKind::Other : FileKind::Unknown;
    }
}

std::optional<std::uint64_t> PositionOf(int fd)
{
    const __int64 position = ::_lseeki64(fd, 0, SEEK_CUR);
    return position < 0 ? std::nullopt : std::optional<std::uint64_t>(static_cast<std::uint64_t>(position));
}

bool SeekTo(int fd, std::uint64_t offset)
{
    return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
           ::_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) >= 0;
}

std::string WriteProblem(const std::filesystem::path& path)
{
    const std::string name = path.string();
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Reason(GetLastError());
    }
    // For a folder the right asked for is that of making files in it; the
    // system checks it against the folder's permissions without making one.
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const HANDLE file = CreateFileA(name.c_str(), folder ? FILE_ADD_FILE : GENERIC_WRITE, kShareAll, nullptr,
                                    OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Reason(GetLastError());
    }
    CloseHandle(file);
    return {};
}

FileBytes::FileBytes(FileBytes&& other) noexcept : size_(other.size_), read_(std::move(other.read_))
{
    data_ = read_.data();
    other.data_ = nullptr;
    other.size_ = 0;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept
{
    read_ = std::move(other.read_);
    data_ = read_.data();
    size_ = read_.size();
    other.data_ = nullptr;
    other.size_ = 0;
    return *this;
}

FileBytes::~FileBytes() = default;

// Read, not mapped: a mapped file could not be replaced while it is open.
FileBytes ReadFileBytes(int fd, std::size_t limit)
{
    FileBytes bytes;
    if (ReadAll(fd, bytes.read_, limit) != WholeRead::Read) {
        bytes.read_.clear();
    }
    bytes.data_ = bytes.read_.data();
    bytes.size_ = bytes.read_.size();
    return bytes;
}

}  // namespace platform::files
