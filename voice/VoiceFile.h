#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "voice/EXException.h"

class Patch;

// Layout of the voice bank block that every voice file holds at a fixed place.
namespace bank {
constexpr std::size_t kBlockSize = 197760;
constexpr std::size_t kElementTableOffset = 128;
constexpr std::size_t kElementTableEntries = 1024;
constexpr std::size_t kCommonOffset = 2176;
constexpr std::size_t kCommonSize = 236;
constexpr std::size_t kElementOffset = 62592;
constexpr std::size_t kElementSize = 132;
constexpr std::size_t kVoiceCount = 256;
constexpr std::size_t kNameSize = 12;
constexpr std::size_t kCategoryOffset = 12;

constexpr std::size_t kS1yStart = 275116;
constexpr std::size_t kS1aStart = 275244;
}  // namespace bank

using BankImage = std::array<std::uint8_t, bank::kBlockSize>;

// Where the voice bank block starts in a file with this listed name.
std::size_t BankBlockStart(std::string_view fileName);

// Reads the voice bank block of `folder` + `fileName` into `image`.
// `folder` is empty or ends with a path separator. A Windows path, such as
// the browser's folder C:\Music\ joined with a listed name, is translated as
// every file call translates it. Raises EXException (source unit
// "SonderikDlg"). On any failure `image` keeps its previous content: the
// block is read aside and copied in only when it is whole.
void ReadVoiceBank(const std::string& folder, const std::string& fileName, BankImage& image);

// The same for a path, split into its folder and its listed name.
void ReadVoiceBankFile(const std::string& path, BankImage& image);

// The raised "Cannot open input file #1" names no cause: why the system
// would not open the file at `path` (a Windows path or this system's) now,
// in its own words, or empty when it now would.
std::string OpenFailureReason(const std::string& path);

// Why reading the voice file at `path` raised `raised`, in words: its
// message and, for a file that would not open, the cause (the one the
// reader gave, inside a disk image or an archive; else the system's now).
std::string ReadFailureText(const EXException* raised, const std::string& path);

// 128 owned patch slots, all empty at construction.
class PatchBank {
public:
    static constexpr int kSlots = 128;

    PatchBank();
    virtual ~PatchBank();
    PatchBank(const PatchBank&) = delete;
    PatchBank& operator=(const PatchBank&) = delete;

    Patch*& operator[](int slot) { return patches[slot]; }
    int size() const { return length; }

private:
    Patch** patches;
    int length;
};
