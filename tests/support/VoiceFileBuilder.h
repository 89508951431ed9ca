#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "voice/VoiceFile.h"

// Builds voice files byte by byte for tests and for the demo bank, so that no
// test depends on a file made by anyone else.
class VoiceFileBuilder {
public:
    enum class Kind { S1v, S1y, S1a };

    // Every voice nameless and of category 0, every element entry free.
    VoiceFileBuilder();

    // Name (up to 12 bytes, padded with spaces; longer is cut) and category.
    VoiceFileBuilder& Voice(int voice, const std::string& name, std::uint8_t category);
    // Raw name bytes, exactly 12, for NULs and odd characters.
    VoiceFileBuilder& RawName(int voice, const std::uint8_t (&bytes)[12]);
    // Byte `offset` of the voice's common block.
    VoiceFileBuilder& CommonByte(int voice, std::size_t offset, std::uint8_t value);
    // Fills common bytes 13 to 235 with a pattern derived from `seed`.
    VoiceFileBuilder& CommonPattern(int voice, std::uint8_t seed);

    // Takes the next unused element block for the voice at this position,
    // fills it from `seed` and returns its block index.
    int Element(int voice, std::uint8_t position, std::uint8_t seed);
    // Writes element table entry `index` as it stands, free or not.
    VoiceFileBuilder& TableEntry(int index, std::uint8_t voice, std::uint8_t position);
    VoiceFileBuilder& ElementByte(int block, std::size_t offset, std::uint8_t value);

    const BankImage& Image() const { return image_; }

    // The whole file of this kind: the block at its place, zeros before it.
    std::vector<std::uint8_t> FileBytes(Kind kind, std::size_t trailing = 0) const;
    void Write(const std::string& path, Kind kind, std::size_t trailing = 0) const;

    // The 132 bytes Element() puts into a block for this seed.
    static std::vector<std::uint8_t> ElementPattern(std::uint8_t seed);

private:
    std::uint8_t* Common(int voice);
    BankImage image_{};
    int nextBlock_ = 0;
};

// The synthetic demo bank shipped in examples/demo.s1v.
VoiceFileBuilder DemoBank();

// Where the block of a kind starts.
std::size_t StartOf(VoiceFileBuilder::Kind kind);
