// Any file named like a voice file: read it, list its voices both ways, and
// turn every voice into its bulk message, which the built-in instrument must
// then accept and decode back into exactly the bytes of the bank.
//
// The first byte picks the name (and so where the bank is read from) and
// whether the rest is the whole file or a pattern repeated over a full-sized
// one, so that small inputs reach the voice list and the assembly too.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "simulator/VirtualEX5.h"
#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceFile.h"
#include "voice/VoiceList.h"

namespace {

const char* const kNames[] = {"bank.s1v", "bank.s1y", "bank.s1a", "BANK.S1A", "s1a.s1v", "x.s1y.s1a", "v", "ys1y"};

std::string& MadeFolder()
{
    static std::string folder;
    return folder;
}

void RemoveFolder()
{
    for (const char* name : kNames) {
        ::unlink((MadeFolder() + name).c_str());
    }
    ::rmdir(MadeFolder().c_str());
}

// A folder of this process's own for the one file each run writes; gone at exit.
const std::string& Folder()
{
    if (MadeFolder().empty()) {
        char pattern[] = "/tmp/sonderik-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        MadeFolder() = std::string(made) + "/";
        std::atexit(RemoveFolder);
    }
    return MadeFolder();
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr, "temporary file");
    Check(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(), "temporary file written");
    std::fclose(f);
}

void CheckVoice(const BankImage& image, const std::string& line, EX5Patch& patch)
{
    const int voice = VoiceOfLine(line);
    Check(voice >= 0 && voice < static_cast<int>(bank::kVoiceCount), "a listed line names its voice");
    Check(VoiceListLine(image, voice) == line, "the line of the voice a line names is that line");
    if (IsDrumLine(line)) {
        return;
    }
    if (!LoadVoice(patch, line, image)) {
        return;
    }
    const std::uint8_t* message = patch.Assemble();
    const std::size_t length = patch.GetMessageLength();
    Check(length == VoiceMessageLength(patch.GetElementCount()), "message length matches its elements");
    Check(message[0] == 0xF0 && message[length - 1] == 0xF7, "message framed by F0 and F7");
    for (std::size_t i = 1; i + 1 < length; ++i) {
        Check(message[i] < 0x80, "only data bytes inside the message");
    }
    const auto decoded = virtual_ex5::DecodeVoiceBulk(std::span<const std::uint8_t>(message, length));
    Check(decoded.voice.has_value(), "the instrument accepts every assembled voice");
    Check(decoded.voice->common == patch.common, "common block survives the trip");
    std::size_t next = 0;
    for (std::size_t p = 0; p < EX5Patch::kMaxElements; ++p) {
        if (patch.HasElement(p)) {
            Check(next < decoded.voice->elements.size(), "every element arrives");
            Check(decoded.voice->elements[next] == patch.elements[p], "element survives the trip");
            ++next;
        }
    }
    Check(next == decoded.voice->elements.size(), "no element invented");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::string name = kNames[mode & 7];
    const std::span<const std::uint8_t> rest(data + 1, size - 1);

    static std::vector<std::uint8_t> file;
    file.clear();
    if ((mode & 8) != 0 && !rest.empty()) {
        // A pattern over a whole file; bits 4-7 cut 0 to 15 bytes off its end.
        file.resize(BankBlockStart(name) + bank::kBlockSize - (mode >> 4));
        for (std::size_t i = 0; i < file.size(); ++i) {
            file[i] = rest[i % rest.size()];
        }
    } else {
        file.assign(rest.begin(), rest.end());
    }
    const std::string& folder = Folder();
    WriteFile(folder + name, file);

    // Kept between runs: a fresh 190 KiB image for every run costs more than the run.
    static const auto image = std::make_unique<BankImage>();
    static const auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
    image->fill(0x5A);
    try {
        ReadVoiceBank(folder, name, *image);
    } catch (EXException* e) {
        const std::unique_ptr<EXException> owned(e);
        Check(owned->message[0] != 0, "a refusal says why");
        Check(std::all_of(image->begin(), image->end(), [](std::uint8_t b) { return b == 0x5A; }),
              "a refused file leaves the image as it was");
        return 0;
    }
    const std::size_t start = BankBlockStart(name);
    Check(file.size() >= start + bank::kBlockSize, "only whole banks are read");
    Check(std::memcmp(image->data(), file.data() + start, bank::kBlockSize) == 0, "the bank read is the file's");

    MemoryVoiceList all;
    FillVoiceList(all, *image, true);
    Check(all.Count() == static_cast<int>(bank::kVoiceCount), "every voice listed with inits shown");
    MemoryVoiceList sorted(true);
    FillVoiceList(sorted, *image, false);
    Check(sorted.Count() <= all.Count(), "hiding inits never adds lines");
    for (int i = 1; i < sorted.Count(); ++i) {
        Check(!VoiceLineLess(sorted.LineText(i), sorted.LineText(i - 1)), "sorted list in order");
    }
    for (const std::string& line : all.Lines()) {
        CheckVoice(*image, line, *patch);
    }
    return 0;
}
