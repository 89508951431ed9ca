#include "platform/files/OutputFile.h"

#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "platform/WinTypes.h"

namespace {

// Names tried for the temporary file before giving up: another writer beside
// it takes one name at a time, so a few are plenty.
constexpr int kTempNameAttempts = 100;
// WriteFile takes a DWORD count: bigger writes go in pieces of this size.
constexpr DWORD kWritePiece = DWORD{1} << 30;
// What the new file takes over from the file it replaces. A read-only file is
// never replaced.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// A path is asked for with room for the usual one, then once more with the
// room the system said it needs.
constexpr int kPathAttempts = 2;
// Looking at a file must not stop anyone else from using it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Reason(DWORD error) { return std::system_category().message(static_cast<int>(error)); }

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close()
    {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != FALSE;
    }

private:
    HANDLE handle_;
};

// Opened to be looked at, following links; folders open too.
Handle OpenToLookAt(const std::string& path)
{
    return Handle(CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool WriteWhole(HANDLE file, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const DWORD piece = size > kWritePiece ? kWritePiece : static_cast<DWORD>(size);
        DWORD written = 0;
        if (WriteFile(file, data, piece, &written, nullptr) == FALSE) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// A temporary file of this process's own (CREATE_NEW) beside `target`,
// removed unless it was moved into place.
class TempFile {
public:
    explicit TempFile(const std::string& target)
    {
        const std::size_t cut = target.find_last_of("\\/:");
        const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
        const std::string name = cut == std::string::npos ? target : target.substr(cut + 1);
        const std::string stem = folder + "." + name + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()) + "-";
        for (int attempt = 0; attempt < kTempNameAttempts && !file_.Valid(); ++attempt) {
            path_ = stem + std::to_string(attempt);
            file_ = Handle(
                CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file_.Valid() && GetLastError() != ERROR_FILE_EXISTS) {
                break;
            }
        }
        error_ = file_.Valid() ? 0 : GetLastError();
    }
    ~TempFile()
    {
        file_.Close();
        if (error_ == 0 && !kept_) {
            DeleteFileA(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // 0 when it was made.
    DWORD Error() const { return error_; }
    HANDLE Get() const { return file_.Get(); }
    bool Close() { return file_.Close(); }
    const std::string& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    Handle file_;
    DWORD error_ = 0;
    bool kept_ = false;
};

// `target` is a file on disk (`attributes` its attributes) or a new name.
std::string ReplaceWhole(const std::string& target, DWORD attributes, const std::uint8_t* data, std::size_t size)
{
    TempFile temp(target);
    if (temp.Error() != 0) {
        return Reason(temp.Error());
    }
    if (!WriteWhole(temp.Get(), data, size) || FlushFileBuffers(temp.Get()) == FALSE || !temp.Close()) {
        return Reason(GetLastError());
    }
    const DWORD kept = attributes & kKeptAttributes;
    if (kept != 0 && SetFileAttributesA(temp.Path().c_str(), kept) == FALSE) {
        return Reason(GetLastError());
    }
    if (MoveFileExA(temp.Path().c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
        return Reason(GetLastError());
    }
    temp.Keep();
    return {};
}

// The path of the file an open handle leads to, links followed.
std::optional<std::string> FinalPath(HANDLE file)
{
    std::string path(MAX_PATH, '\0');
    for (int attempt = 0; attempt < kPathAttempts; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleA(file, path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(std::size_t{length} + 1, '\0');
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return std::nullopt;
}

}  // namespace

std::string WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "it is a folder";
    }
    // Windows refuses to write a read-only file, but not everything that runs
    // Windows programs does (wine run as root writes it): the user's mark is
    // kept wherever this runs.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Reason(ERROR_ACCESS_DENIED);
    }
    // Opening it for writing, without changing it, tells whether it may be
    // written and what it is; a device or a pipe is written through this very
    // handle, where it is.
    Handle existing(CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!existing.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ReplaceWhole(path, 0, data, size) : Reason(error);
    }
    if (GetFileType(existing.Get()) != FILE_TYPE_DISK) {
        if (!WriteWhole(existing.Get(), data, size)) {
            return Reason(GetLastError());
        }
        return existing.Close() ? std::string() : Reason(GetLastError());
    }
    const std::optional<std::string> target = FinalPath(existing.Get());
    if (!target) {
        return Reason(GetLastError());
    }
    existing.Close();
    return ReplaceWhole(*target, attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes, data, size);
}

bool SameFile(const std::string& a, const std::string& b)
{
    const Handle first = OpenToLookAt(a);
    const Handle second = OpenToLookAt(b);
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION other{};
    return first.Valid() && second.Valid() && GetFileInformationByHandle(first.Get(), &one) != FALSE &&
           GetFileInformationByHandle(second.Get(), &other) != FALSE &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
           one.nFileIndexLow == other.nFileIndexLow;
}
