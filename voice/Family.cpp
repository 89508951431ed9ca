#include "voice/Family.h"

namespace {

constexpr const char* kBankNames[] = {"Preset1", "Preset2", "Internal1", "Internal2", "Performance"};
constexpr unsigned kBankCount = sizeof kBankNames / sizeof kBankNames[0];

constexpr const char* kCategoryCodes[EX5Info::kCategoryCount] = {
    "--", "Pf", "Cp", "Or", "Gt", "Ba", "St", "En", "Br", "Rd", "Pi", "Ld",
    "Pd", "Fx", "Et", "Pc", "Se", "Dr", "Sc", "Vo", "Co", "Wv", "Sq"};

constexpr const char* kCategoryNames[EX5Info::kCategoryCount] = {
    "No Assign",     "Piano",         "Chromatic Percussion", "Organ",      "Guitar",
    "Bass",          "Strings/Orchestral", "Ensemble",        "Brass",      "Reed",
    "Pipe",          "Synth Lead",    "Synth Pad",            "Synth Sound", "Ethnic",
    "Percussive",    "Sound Effects", "Drums",                "Synth Comping", "Vocal",
    "Combination",   "Material Wave", "Sequence"};

EX5Info theEX5Info;
DriverInfo* const kFamilies[] = {&theEX5Info};

}  // namespace

const FamilyRegistry familyRegistry = {sizeof kFamilies / sizeof kFamilies[0], kFamilies};

DriverInfo* GetFamily(unsigned index)
{
    return index < familyRegistry.count ? familyRegistry.entries[index] : nullptr;
}

DriverInfo::~DriverInfo() = default;
const char* DriverInfo::GetDisplayName() const { return nullptr; }
unsigned DriverInfo::GetBankCount() const { return 0; }
bool DriverInfo::QueryYesNo() const { return false; }
unsigned DriverInfo::QueryNumberA() const { return 0; }
unsigned DriverInfo::QueryNumberB() const { return 0; }
unsigned DriverInfo::QueryNumberC() const { return 0; }
const char* DriverInfo::GetBankName(unsigned) const { return nullptr; }
Midi* DriverInfo::CreateMidi() const { return nullptr; }

EX5Info::EX5Info(MidiFactory factory) : factory_(factory) {}
EX5Info::~EX5Info() = default;

const char* EX5Info::GetDisplayName() const { return "Yamaha EX5/5R/7"; }
unsigned EX5Info::GetBankCount() const { return kBankCount; }
bool EX5Info::QueryYesNo() const { return true; }
unsigned EX5Info::QueryNumberA() const { return 0; }
unsigned EX5Info::QueryNumberB() const { return 1; }
unsigned EX5Info::QueryNumberC() const { return 1; }

const char* EX5Info::GetBankName(unsigned index) const
{
    return index < kBankCount ? kBankNames[index] : nullptr;
}

Midi* EX5Info::CreateMidi() const
{
    const MidiFactory factory = factory_.load();
    return factory != nullptr ? factory() : nullptr;
}

const char* EX5Info::GetCategoryCode(unsigned index) const
{
    return kCategoryCodes[index < kCategoryCount ? index : 0];
}

const char* EX5Info::GetCategoryName(unsigned index) const
{
    return kCategoryNames[index < kCategoryCount ? index : 0];
}

unsigned EX5Info::GetVoiceCount() const { return kVoiceCount; }

void EX5Info::SetMidiFactory(MidiFactory factory) { factory_.store(factory); }
