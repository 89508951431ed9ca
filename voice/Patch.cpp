#include "voice/Patch.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "voice/Family.h"
#include "voice/VoiceList.h"

namespace {

constexpr std::uint8_t kAbsent = 0xFF;

std::string CleanName(const char* raw)
{
    std::string text = raw != nullptr ? raw : "";
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    text = first < last ? std::string(first, last) : std::string();
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) {
            c = ' ';
        }
    }
    return text;
}

// Packs the source stream seven bytes into eight: the low seven bits of each
// byte, then a byte holding the seven high bits, the group's first in bit 0.
class Packer {
public:
    explicit Packer(std::uint8_t* out) : out_(out) {}

    void Add(const std::uint8_t* data, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i) {
            Put(data[i]);
        }
    }

    // Completes a started group with zero bytes.
    void Finish()
    {
        while (inGroup_ != 0) {
            Put(0);
        }
    }

    std::size_t Written() const { return written_; }

private:
    void Put(std::uint8_t byte)
    {
        out_[written_++] = byte & 0x7F;
        highBits_ = static_cast<std::uint8_t>(highBits_ | ((byte >> 7) << inGroup_));
        if (++inGroup_ == 7) {
            out_[written_++] = highBits_;
            highBits_ = 0;
            inGroup_ = 0;
        }
    }

    std::uint8_t* out_;
    std::size_t written_ = 0;
    unsigned inGroup_ = 0;
    std::uint8_t highBits_ = 0;
};

}  // namespace

Patch::~Patch() = default;

void Patch::Describe(std::FILE* stream) const
{
    std::fprintf(stream, "Name %s \r\n", patchName ? patchName->c_str() : "");
}

int Patch::Query() const { return 0; }

const char* Patch::GetName() const { return patchName ? patchName->c_str() : nullptr; }

EX5Patch::EX5Patch(const char* patchNameText, std::uint8_t categoryNumber)
    : category(categoryNumber), name(CleanName(patchNameText))
{
    const EX5Info family;
    categoryCode = family.GetCategoryCode(categoryNumber);
    categoryName = family.GetCategoryName(categoryNumber);
}

EX5Patch::~EX5Patch() = default;

void EX5Patch::Describe(std::FILE* stream) const
{
    std::fprintf(stream, "Name %s \r\n", name ? name->c_str() : "");
}

int EX5Patch::Query() const { return 0; }

const char* EX5Patch::GetName() const { return name ? name->c_str() : nullptr; }

bool EX5Patch::HasElement(std::size_t position) const
{
    return elements[position][0] != kAbsent;
}

const std::uint8_t* EX5Patch::Assemble()
{
    constexpr std::size_t kHeader = 9;
    Packer packer(sysex.data() + kHeader);
    packer.Add(common.data(), common.size());
    elementCount = 0;
    for (std::size_t p = 0; p < kMaxElements; ++p) {
        if (HasElement(p)) {
            packer.Add(elements[p].data(), elements[p].size());
            ++elementCount;
        }
    }
    packer.Finish();

    const std::size_t packed = packer.Written();
    sysex[0] = 0xF0;
    sysex[1] = 0x43;
    sysex[2] = 0x00;
    sysex[3] = 0x5B;
    sysex[4] = static_cast<std::uint8_t>((packed >> 7) & 0x7F);
    sysex[5] = static_cast<std::uint8_t>(packed & 0x7F);
    sysex[6] = 0x40;
    sysex[7] = 0x00;
    sysex[8] = 0x00;
    const EX5Parser parser;
    sysex[kHeader + packed] = parser.Checksum(sysex.data() + 4, kHeader - 4 + packed);
    sysex[kHeader + packed + 1] = 0xF7;
    messageLength = kHeader + packed + 2;
    return sysex.data();
}

Parser::~Parser() = default;
EX5Parser::~EX5Parser() = default;

std::uint8_t EX5Parser::Checksum(const std::uint8_t* data, std::size_t length) const
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        sum += data[i];
    }
    const unsigned low = sum & 0x7F;
    return static_cast<std::uint8_t>(low == 0 ? 0 : 128 - low);
}

std::size_t VoiceMessageLength(std::uint32_t elements)
{
    switch (elements) {
    case 1: return 435;
    case 2: return 587;
    case 3: return 739;
    case 4: return 891;
    default: return 0;
    }
}

bool LoadVoice(EX5Patch& patch, std::string_view line, const BankImage& image)
{
    std::string why;
    return LoadVoice(patch, line, image, why);
}

bool LoadVoice(EX5Patch& patch, std::string_view line, const BankImage& image, std::string& why)
{
    const int v = VoiceOfLine(line);
    if (v < 0 || v >= static_cast<int>(bank::kVoiceCount)) {
        why = "the list line names no voice 0 to " + std::to_string(bank::kVoiceCount - 1);
        return false;
    }
    const auto voice = static_cast<std::size_t>(v);
    std::memcpy(patch.common.data(), image.data() + bank::kCommonOffset + bank::kCommonSize * voice,
                bank::kCommonSize);

    // Later entries win for the same position; positions past 3 are not
    // elements at all (free entries have bit 7 set, 4 to 127 never occur).
    int blockOf[EX5Patch::kMaxElements] = {-1, -1, -1, -1};
    for (std::size_t k = 0; k < bank::kElementTableEntries; ++k) {
        const std::uint8_t* entry = image.data() + bank::kElementTableOffset + 2 * k;
        if (entry[0] == voice && entry[1] < EX5Patch::kMaxElements) {
            blockOf[entry[1]] = static_cast<int>(k);
        }
    }

    bool any = false;
    for (std::size_t p = 0; p < EX5Patch::kMaxElements; ++p) {
        auto& element = patch.elements[p];
        if (blockOf[p] >= 0) {
            const std::size_t offset = bank::kElementOffset + bank::kElementSize * static_cast<std::size_t>(blockOf[p]);
            std::memcpy(element.data(), image.data() + offset, bank::kElementSize);
        } else {
            std::fill_n(element.begin(), 4, std::uint8_t{0xFF});
        }
        any = any || patch.HasElement(p);
    }
    if (!any) {
        why = "voice " + std::to_string(v) + " has no element present in the file";
    }
    return any;
}

bool IsDrumLine(std::string_view line)
{
    return line.substr(0, 2) == "Dr";
}
