#pragma once

// Files of this system by descriptor: opening one for reading without ever
// waiting, and reads and writes that finish what they start (a signal that
// interrupts them does not end them). The header is the same on every
// system; each implements it in a file of its own (DescriptorPosix.cpp,
// DescriptorWin.cpp), and Descriptor.cpp holds what they share.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::files {

// An open descriptor, closed with the object, or the system's error code of
// the open that failed (errno; on Windows GetLastError's code).
class Descriptor {
public:
    Descriptor() = default;
    Descriptor(Descriptor&& other) noexcept;
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();

    explicit operator bool() const { return fd_ >= 0; }
    int Get() const { return fd_; }
    // 0 when open.
    int Error() const { return error_; }

private:
    friend Descriptor OpenForReading(const std::string& localPath);
    friend Descriptor Adopt(int fd);
    Descriptor(int fd, int error) : fd_(fd), error_(error) {}

    int fd_ = -1;
    int error_ = 0;
};

// Opens a file of this system for reading. It never waits for a writer or a
// device: a FIFO or a device opens at once, and KindOf tells what it is.
Descriptor OpenForReading(const std::string& localPath);

// Takes charge of a descriptor opened by any other call; a negative one is
// a failed open, and errno its code (on Windows the C runtime's _doserrno).
Descriptor Adopt(int fd);

enum class FileKind { Regular, Folder, Other, Unknown };
FileKind KindOf(int fd);

// Where the next read starts, or nothing when that cannot be told.
std::optional<std::uint64_t> PositionOf(int fd);
bool SeekTo(int fd, std::uint64_t offset);

// Reads until `size` bytes are in `data` or the file ends: how many came;
// nothing when a read failed.
std::optional<std::size_t> ReadUpTo(int fd, void* data, std::size_t size);

enum class WholeRead { Read, Failed, TooBig };
// Reads the rest of the file into `text`, refusing more than `limit` bytes;
// `text` is empty unless it was read.
WholeRead ReadAll(int fd, std::string& text, std::size_t limit);

// A regular file's bytes, read only, for as long as the object lives. Where
// the system lets a mapped file be replaced by renaming another over it
// (POSIX), the file is mapped: tens of megabytes are neither copied nor
// cleared first. On Windows, where a mapped file cannot be replaced, they
// are read. Writers must replace such a file, never shorten it in place.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes();

    std::string_view View() const { return {data_, size_}; }

private:
    friend FileBytes ReadFileBytes(int fd, std::size_t limit);
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::string read_;
};

// The bytes of the regular file open at `fd`, none when it is larger than
// `limit` or cannot be had.
FileBytes ReadFileBytes(int fd, std::size_t limit);

// Writes all `size` bytes; false, with errno set, when the system would not
// take them (EIO when it took none without saying why).
bool WriteAll(int fd, const void* data, std::size_t size);

// Why this process cannot now read `localPath` (opened as OpenForReading
// opens it) or write `path` (for a folder: make files in it), in the
// system's words; empty when it can.
std::string ReadProblem(const std::string& localPath);
std::string WriteProblem(const std::filesystem::path& path);

}  // namespace platform::files
