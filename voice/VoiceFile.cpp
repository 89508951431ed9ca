#include "voice/VoiceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/NoCase.h"
#include "platform/files/Descriptor.h"
#include "platform/files/WinFiles.h"
#include "voice/EXException.h"
#include "voice/Patch.h"

namespace {

constexpr const char* kUnit = "SonderikDlg";

namespace files = platform::files;

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

    // Opened without waiting, so that a FIFO or a device named like a voice
    // file is refused below instead of hanging the open.
    const files::Descriptor file = files::OpenForReading(*local);
    if (!file) {
        RaiseEX("Cannot open input file #1", kUnit, 1146);
    }
    switch (files::KindOf(file.Get())) {
    case files::FileKind::Unknown: RaiseEX("Cannot open input file #1", kUnit, 1146);
    case files::FileKind::Folder: RaiseEX("Is a folder, not a voice file", kUnit, 1146);
    case files::FileKind::Other: RaiseEX("Is not a regular file, not a voice file", kUnit, 1146);
    case files::FileKind::Regular: break;
    }

    const std::size_t start = BankBlockStart(fileName);
    if (start != 0) {
        const bool isS1a = start == bank::kS1aStart;
        if (!files::PositionOf(file.Get())) {
            RaiseEX("Cannot get position from file #1", kUnit, isS1a ? 1152 : 1164);
        }
        if (!files::SeekTo(file.Get(), start)) {
            RaiseEX("Cannot set position in file #1", kUnit, isS1a ? 1157 : 1169);
        }
    }

    auto scratch = std::make_unique<BankImage>();
    const std::optional<std::size_t> got = files::ReadUpTo(file.Get(), scratch->data(), scratch->size());
    if (!got) {
        RaiseEX("Cannot read voice file #1", kUnit, 1178);
    }
    if (*got < scratch->size()) {
        RaiseEX("Voice file ends before its voice bank is complete", kUnit, 1178);
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
    return local ? files::ReadProblem(*local) : std::strerror(ENOENT);
}

PatchBank::PatchBank() : patches(new Patch*[kSlots]()), length(kSlots) {}

PatchBank::~PatchBank()
{
    for (int i = 0; i < length; ++i) {
        delete patches[i];
    }
    delete[] patches;
}
