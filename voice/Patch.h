#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "voice/VoiceFile.h"

// One voice, as the instrument family knows it.
class Patch {
public:
    Patch() = default;
    virtual ~Patch();
    Patch(const Patch&) = delete;
    Patch& operator=(const Patch&) = delete;

    // Writes "Name %s \r\n" to the stream.
    virtual void Describe(std::FILE* stream) const;
    virtual int Query() const;

    // The name, or null when there is none.
    const char* GetName() const;

protected:
    std::optional<std::string> patchName;
};

// One EX5 voice copied out of a bank image, and its bulk message.
class EX5Patch : public Patch {
public:
    static constexpr std::size_t kSysexCapacity = 4248;
    static constexpr std::size_t kMaxElements = 4;

    EX5Patch(const char* name, std::uint8_t category);
    ~EX5Patch() override;

    void Describe(std::FILE* stream) const override;
    int Query() const override;

    const char* GetName() const;
    const char* GetCategoryCode() const { return categoryCode.c_str(); }
    const char* GetCategoryName() const { return categoryName.c_str(); }
    std::uint8_t GetCategory() const { return category; }

    // Builds the bulk message in place and returns its first byte.
    const std::uint8_t* Assemble();
    // Elements the last Assemble packed.
    std::uint32_t GetElementCount() const { return elementCount; }
    // Bytes the last Assemble built, up to and including the closing F7.
    std::size_t GetMessageLength() const { return messageLength; }

    // Whether element slot `position` holds an element.
    bool HasElement(std::size_t position) const;

    std::array<std::uint8_t, bank::kCommonSize> common{};
    std::array<std::array<std::uint8_t, bank::kElementSize>, kMaxElements> elements{};

private:
    std::uint32_t elementCount = 0;
    std::string categoryCode;
    std::uint8_t category;
    std::string categoryName;
    std::optional<std::string> name;
    std::array<std::uint8_t, kSysexCapacity> sysex{};
    std::size_t messageLength = 0;
};

class Parser {
public:
    Parser() = default;
    virtual ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
};

class EX5Parser : public Parser {
public:
    ~EX5Parser() override;
    // The 7-bit checksum: added to the bytes' sum it makes a multiple of 128.
    std::uint8_t Checksum(const std::uint8_t* data, std::size_t length) const;
};

// Length of the whole bulk message for a voice of `elements` present
// elements: 435, 587, 739 or 891; 0 for a count the instrument has no
// message for.
std::size_t VoiceMessageLength(std::uint32_t elements);

// Copies the voice that a list line names out of the image into the patch.
// False when the line names no voice, or the voice has no element at all
// (it would make a message the instrument does not know).
bool LoadVoice(EX5Patch& patch, std::string_view line, const BankImage& image);
// The same, saying in `why` what was wrong when it fails.
bool LoadVoice(EX5Patch& patch, std::string_view line, const BankImage& image, std::string& why);

// Drum voices cannot be sent yet; a line starting "Dr" names one.
bool IsDrumLine(std::string_view line);
