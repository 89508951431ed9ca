#include "voice/VoiceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/NoCase.h"
#include "platform/files/WinFiles.h"
#include "voice/EXException.h"
#include "voice/Patch.h"

namespace {

constexpr const char* kUnit = "SonderikDlg";

// Owns a file descriptor for the length of one read.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool FoundFromPosition2(std::string_view name, std::string_view what)
{
    // A match at position 0 or 1 does not count, so search from 2 on.
    return name.size() >= 2 && name.find(what, 2) != std::string_view::npos;
}

}  // namespace

std::size_t BankBlockStart(std::string_view fileName)
{
    std::string lower(fileName);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(platform::FoldCase(c)); });
    std::size_t start = 0;
    if (FoundFromPosition2(lower, "s1a")) {
        start = bank::kS1aStart;
    }
    if (FoundFromPosition2(lower, "s1y")) {
        start = bank::kS1yStart;
    }
    return start;
}

void ReadVoiceBank(const std::string& folder, const std::string& fileName, BankImage& image)
{
    // The browser joins its folder path, a Windows path, with the listed name.
    const std::optional<std::string> local = platform::ToLocalPath(folder + fileName);
    if (!local) {
        RaiseEX("Cannot open input file #1", kUnit, 1146);
    }
    const std::string& path = *local;

    // Non-blocking, so that a FIFO or a device named like a voice file is
    // refused below instead of hanging the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        RaiseEX("Cannot open input file #1", kUnit, 1146);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        RaiseEX("Cannot open input file #1", kUnit, 1146);
    }
    if (S_ISDIR(info.st_mode)) {
        RaiseEX("Is a folder, not a voice file", kUnit, 1146);
    }
    if (!S_ISREG(info.st_mode)) {
        RaiseEX("Is not a regular file, not a voice file", kUnit, 1146);
    }

    const std::size_t start = BankBlockStart(fileName);
    if (start != 0) {
        const bool isS1a = start == bank::kS1aStart;
        if (::lseek(fd.get(), 0, SEEK_CUR) < 0) {
            RaiseEX("Cannot get position from file #1", kUnit, isS1a ? 1152 : 1164);
        }
        if (::lseek(fd.get(), static_cast<off_t>(start), SEEK_SET) < 0) {
            RaiseEX("Cannot set position in file #1", kUnit, isS1a ? 1157 : 1169);
        }
    }

    auto scratch = std::make_unique<BankImage>();
    std::size_t got = 0;
    while (got < scratch->size()) {
        const ssize_t n = ::read(fd.get(), scratch->data() + got, scratch->size() - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseEX("Cannot read voice file #1", kUnit, 1178);
        }
        if (n == 0) {
            RaiseEX("Voice file ends before its voice bank is complete", kUnit, 1178);
        }
        got += static_cast<std::size_t>(n);
    }
    image = *scratch;
}

void ReadVoiceBankFile(const std::string& path, BankImage& image)
{
    // The listed name is the last component, also of a Windows path.
    const std::size_t slash = path.find_last_of(platform::IsWindowsPath(path) ? "\\/" : "/");
    if (slash == std::string::npos) {
        ReadVoiceBank(std::string(), path, image);
    } else {
        ReadVoiceBank(path.substr(0, slash + 1), path.substr(slash + 1), image);
    }
}

std::string OpenFailureReason(const std::string& path)
{
    const std::optional<std::string> local = platform::ToLocalPath(path);
    if (!local) {
        return std::strerror(ENOENT);
    }
    Fd fd(::open(local->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    return fd.get() < 0 ? std::strerror(errno) : std::string();
}

PatchBank::PatchBank() : patches(new Patch*[kSlots]()), length(kSlots) {}

PatchBank::~PatchBank()
{
    for (int i = 0; i < length; ++i) {
        delete patches[i];
    }
    delete[] patches;
}
