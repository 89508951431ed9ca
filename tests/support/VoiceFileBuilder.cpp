#include "tests/support/VoiceFileBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

VoiceFileBuilder::VoiceFileBuilder()
{
    for (std::size_t k = 0; k < bank::kElementTableEntries; ++k) {
        image_[bank::kElementTableOffset + 2 * k] = 0;
        image_[bank::kElementTableOffset + 2 * k + 1] = 0xFF;
    }
}

std::uint8_t* VoiceFileBuilder::Common(int voice)
{
    return image_.data() + bank::kCommonOffset + bank::kCommonSize * static_cast<std::size_t>(voice);
}

VoiceFileBuilder& VoiceFileBuilder::Voice(int voice, const std::string& name, std::uint8_t category)
{
    std::uint8_t* common = Common(voice);
    std::memset(common, ' ', bank::kNameSize);
    std::memcpy(common, name.data(), std::min(name.size(), bank::kNameSize));
    common[bank::kCategoryOffset] = category;
    return *this;
}

VoiceFileBuilder& VoiceFileBuilder::RawName(int voice, const std::uint8_t (&bytes)[12])
{
    std::memcpy(Common(voice), bytes, sizeof bytes);
    return *this;
}

VoiceFileBuilder& VoiceFileBuilder::CommonByte(int voice, std::size_t offset, std::uint8_t value)
{
    Common(voice)[offset] = value;
    return *this;
}

VoiceFileBuilder& VoiceFileBuilder::CommonPattern(int voice, std::uint8_t seed)
{
    std::uint8_t* common = Common(voice);
    for (std::size_t i = 13; i < bank::kCommonSize; ++i) {
        common[i] = static_cast<std::uint8_t>(seed * 31 + i * 7);
    }
    return *this;
}

std::vector<std::uint8_t> VoiceFileBuilder::ElementPattern(std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(bank::kElementSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
    }
    bytes[0] = static_cast<std::uint8_t>(seed & 0x7F);  // 0xFF there would mean "absent"
    return bytes;
}

int VoiceFileBuilder::Element(int voice, std::uint8_t position, std::uint8_t seed)
{
    if (nextBlock_ >= static_cast<int>(bank::kElementTableEntries)) {
        throw std::length_error("no free element block left");
    }
    const int block = nextBlock_++;
    TableEntry(block, static_cast<std::uint8_t>(voice), position);
    const std::vector<std::uint8_t> bytes = ElementPattern(seed);
    std::memcpy(image_.data() + bank::kElementOffset + bank::kElementSize * static_cast<std::size_t>(block),
                bytes.data(), bytes.size());
    return block;
}

VoiceFileBuilder& VoiceFileBuilder::TableEntry(int index, std::uint8_t voice, std::uint8_t position)
{
    image_[bank::kElementTableOffset + 2 * static_cast<std::size_t>(index)] = voice;
    image_[bank::kElementTableOffset + 2 * static_cast<std::size_t>(index) + 1] = position;
    nextBlock_ = std::max(nextBlock_, index + 1);
    return *this;
}

VoiceFileBuilder& VoiceFileBuilder::ElementByte(int block, std::size_t offset, std::uint8_t value)
{
    image_[bank::kElementOffset + bank::kElementSize * static_cast<std::size_t>(block) + offset] = value;
    return *this;
}

std::size_t StartOf(VoiceFileBuilder::Kind kind)
{
    switch (kind) {
    case VoiceFileBuilder::Kind::S1y: return bank::kS1yStart;
    case VoiceFileBuilder::Kind::S1a: return bank::kS1aStart;
    case VoiceFileBuilder::Kind::S1v: break;
    }
    return 0;
}

std::vector<std::uint8_t> VoiceFileBuilder::FileBytes(Kind kind, std::size_t trailing) const
{
    const std::size_t start = StartOf(kind);
    std::vector<std::uint8_t> bytes(start + image_.size() + trailing, 0);
    std::copy(image_.begin(), image_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
    return bytes;
}

void VoiceFileBuilder::Write(const std::string& path, Kind kind, std::size_t trailing) const
{
    const std::vector<std::uint8_t> bytes = FileBytes(kind, trailing);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

VoiceFileBuilder DemoBank()
{
    // Invented names, a few per category, so that every code shows up once
    // the list is sorted; the sounds are synthetic.
    static const char* const kNames[23][3] = {
        {"Unsorted", "Odd One", "Loose End"},
        {"Glass Grand", "Felt Upright", "Toy Keys"},
        {"Ice Marimba", "Tin Bells", "Vibe Drift"},
        {"Chapel Organ", "Perc Drawbar", "Rotor Jazz"},
        {"Nylon Pluck", "Steel Strum", "Fuzz Lead"},
        {"Round Bass", "Slap Rubber", "Sub Wobble"},
        {"Warm Strings", "Pizz Section", "Cello Solo"},
        {"Choir Pad", "Big Unison", "Mixed Stack"},
        {"Brass Stab", "Soft Horns", "Fanfare"},
        {"Breathy Sax", "Reed Duo", "Clarinetish"},
        {"Pan Flute", "Bottle Blow", "Recorder"},
        {"Saw Lead", "Square Lead", "Sync Scream"},
        {"Dust Pad", "Glass Pad", "Slow Sweep"},
        {"Sparkles", "Laser Zap", "Noise Rise"},
        {"Sitarish", "Kalimba", "Steel Pan"},
        {"Wood Knock", "Metal Hit", "Clave Echo"},
        {"Rain Fall", "Wind Gust", "Sea Shore"},
        {"Basic Kit", "Room Kit", "Tiny Kit"},
        {"Comp Chords", "Pulse Comp", "Offbeat"},
        {"Ooh Voice", "Aah Choir", "Whisper"},
        {"Split Combo", "Layer Combo", "Key Zones"},
        {"Wave Pure", "Wave Raw", "Wave Loop"},
        {"Arp Run", "Step Seq", "Gate Pulse"},
    };

    static const char* const kVariants[] = {"", " II", " III", " IV"};

    VoiceFileBuilder builder;
    int named = 0;
    for (int v = 0; v < 256; ++v) {
        // Every 32nd voice is an initial one, as left by an instrument's "init".
        if (v % 32 == 31) {
            builder.Voice(v, "Init Voice", 0);
            builder.Element(v, 0, 0);
            continue;
        }
        const int category = named % 23;
        const int pick = (named / 23) % 3;
        const int variant = (named / 69) % 4;
        ++named;
        builder.Voice(v, std::string(kNames[category][pick]) + kVariants[variant], static_cast<std::uint8_t>(category));
        builder.CommonPattern(v, static_cast<std::uint8_t>(v));
        // One to four elements; some two-element voices leave a gap.
        const int count = 1 + (v * 7 + category) % 4;
        for (int e = 0; e < count; ++e) {
            const auto position = static_cast<std::uint8_t>(count == 2 && v % 2 != 0 ? e * 2 : e);
            builder.Element(v, position, static_cast<std::uint8_t>(v * 4 + e));
        }
    }
    return builder;
}
