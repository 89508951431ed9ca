#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What an Identity Reply tells about the instrument that sent it.
struct IdentityFields {
    std::int32_t manufacturerId = -1;
    std::int32_t familyCode = 0;
    std::int32_t memberCode = 0;
    std::int32_t revision1 = 0;
    std::int32_t revision2 = 0;
};

// F0 7E dd 06 01 F7, addressed to device `deviceNumber` (127: every device).
std::array<std::uint8_t, 6> IdentityRequest(std::uint32_t deviceNumber);

// Decodes a reply of 15, 14 or 17 bytes into `fields` (a 14-byte reply keeps
// the revisions it had). False, with `fields` untouched, for any other shape.
bool DecodeIdentityReply(const std::uint8_t* reply, std::size_t length, IdentityFields& fields);

struct InstrumentModel {
    const char* logText;   // " EX5"
    const char* result;    // "EX5"
};

// The model a Yamaha member code names; any other code is " UNKNOWN".
InstrumentModel ModelOfMember(std::int32_t memberCode);

// True when an identification's result names one of the family's models
// (not "Yamaha Other", "Nothing known found." or "No reply to ID request.").
bool IsFamilyModel(const char* result);

constexpr std::int32_t kYamaha = 0x43;
