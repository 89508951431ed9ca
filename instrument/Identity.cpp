#include "instrument/Identity.h"

#include <cstring>

namespace {

// Two 7-bit bytes, low first, read as signed bytes as the instrument's peers do.
std::int32_t Pair(const std::uint8_t* bytes)
{
    return static_cast<std::int8_t>(bytes[0]) + 128 * static_cast<std::int8_t>(bytes[1]);
}

}  // namespace

std::array<std::uint8_t, 6> IdentityRequest(std::uint32_t deviceNumber)
{
    return {0xF0, 0x7E, static_cast<std::uint8_t>(deviceNumber & 0xFF), 0x06, 0x01, 0xF7};
}

bool DecodeIdentityReply(const std::uint8_t* r, std::size_t length, IdentityFields& fields)
{
    if (length < 6 || r[3] != 0x06 || r[4] != 0x02) {
        return false;
    }
    switch (length) {
    case 15:
        fields.manufacturerId = static_cast<std::int8_t>(r[5]);
        fields.familyCode = Pair(r + 6);
        fields.memberCode = Pair(r + 8);
        fields.revision1 = Pair(r + 10);
        fields.revision2 = Pair(r + 12);
        return true;
    case 14:
        fields.manufacturerId = 0x41;
        fields.familyCode = Pair(r + 5);
        fields.memberCode = Pair(r + 7);
        return true;
    case 17:
        if (r[5] != 0x00) {
            return false;
        }
        fields.manufacturerId = Pair(r + 6);
        fields.familyCode = Pair(r + 8);
        fields.memberCode = Pair(r + 10);
        fields.revision1 = Pair(r + 12);
        fields.revision2 = Pair(r + 14);
        return true;
    default:
        return false;
    }
}

bool IsFamilyModel(const char* result)
{
    for (const std::int32_t member : {0x1982, 0x1A02, 0x2002}) {
        if (std::strcmp(ModelOfMember(member).result, result) == 0) {
            return true;
        }
    }
    return false;
}

InstrumentModel ModelOfMember(std::int32_t memberCode)
{
    switch (memberCode) {
    case 0x1982: return {" EX5", "EX5"};
    case 0x1A02: return {" EX7", "EX7"};
    case 0x2002: return {" EX5R", "EX5R"};
    default: return {" UNKNOWN", "Yamaha Other"};
    }
}
