#include "voice/VoiceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "containers/ContainerPaths.h"
#include "platform/NoCase.h"
#include "platform/files/Descriptor.h"
#include "platform/files/WinFiles.h"
#include "voice/DialogSites.h"
#include "voice/Patch.h"

namespace {

namespace site = dialog_site;
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

// Reading a voice file was the dialog's own handler: it still raises under
// the dialog's unit and lines (voice/DialogSites.h).
namespace {

// A voice file inside a disk image or an archive comes whole, bounded.
void ReadContainedBank(const containers::Located& located, std::size_t start, BankImage& image)
{
    if (located.inside.empty()) {
        RaiseEX(site::kIsFolder);
    }
    const containers::Contents contents = containers::ReadInside(located);
    if (!contents.problem.empty()) {
        RaiseEX(site::kCannotOpen, contents.problem.c_str());
    }
    if (contents.bytes.size() < start + image.size()) {
        RaiseEX(site::kEndsEarly);
    }
    std::copy_n(reinterpret_cast<const unsigned char*>(contents.bytes.data()) + start, image.size(), image.begin());
}

}  // namespace

void ReadVoiceBank(const std::string& folder, const std::string& fileName, BankImage& image)
{
    if (const std::optional<containers::Located> located = containers::Locate(folder + fileName)) {
        ReadContainedBank(*located, BankBlockStart(fileName), image);
        return;
    }
    // The browser joins its folder path, a Windows path, with the listed name.
    const std::optional<std::string> local = platform::ToLocalPath(folder + fileName);
    if (!local) {
        RaiseEX(site::kCannotOpen);
    }

    // Opened without waiting, so that a FIFO or a device named like a voice
    // file is refused below instead of hanging the open.
    const files::Descriptor file = files::OpenForReading(*local);
    if (!file) {
        RaiseEX(site::kCannotOpen);
    }
    switch (files::KindOf(file.Get())) {
    case files::FileKind::Unknown: RaiseEX(site::kCannotOpen);
    case files::FileKind::Folder: RaiseEX(site::kIsFolder);
    case files::FileKind::Other: RaiseEX(site::kNotRegular);
    case files::FileKind::Regular: break;
    }

    const std::size_t start = BankBlockStart(fileName);
    if (start != 0) {
        const bool isS1a = start == bank::kS1aStart;
        if (!files::PositionOf(file.Get())) {
            RaiseEX(isS1a ? site::kS1aGetPosition : site::kS1yGetPosition);
        }
        if (!files::SeekTo(file.Get(), start)) {
            RaiseEX(isS1a ? site::kS1aSetPosition : site::kS1ySetPosition);
        }
    }

    auto scratch = std::make_unique<BankImage>();
    const std::optional<std::size_t> got = files::ReadUpTo(file.Get(), scratch->data(), scratch->size());
    if (!got) {
        RaiseEX(site::kCannotRead);
    }
    if (*got < scratch->size()) {
        RaiseEX(site::kEndsEarly);
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
    if (const std::optional<containers::Located> located = containers::Locate(path)) {
        return containers::ReadInside(*located).problem;
    }
    const std::optional<std::string> local = platform::ToLocalPath(path);
    return local ? files::ReadProblem(*local) : std::strerror(ENOENT);
}

std::string ReadFailureText(const EXException* raised, const std::string& path)
{
    if (raised == nullptr) {
        return "Unidentified error";
    }
    std::string text = raised->message;
    std::string why = raised->reason;
    if (why.empty() && text == site::kCannotOpen.message) {
        why = OpenFailureReason(path);
    }
    return why.empty() ? text : text + ": " + why;
}

PatchBank::PatchBank() : patches(new Patch*[kSlots]()), length(kSlots) {}

PatchBank::~PatchBank()
{
    for (int i = 0; i < length; ++i) {
        delete patches[i];
    }
    delete[] patches;
}
