#pragma once

#include <atomic>
#include <cstdint>

class Midi;  // the family's conversation object, built by the instrument layer

using MidiFactory = Midi* (*)();

// Description of an instrument family. The base answers "nothing" to every
// query; a family overrides what it knows.
class DriverInfo {
public:
    DriverInfo() = default;
    virtual ~DriverInfo();
    DriverInfo(const DriverInfo&) = delete;
    DriverInfo& operator=(const DriverInfo&) = delete;

    virtual const char* GetDisplayName() const;
    virtual unsigned GetBankCount() const;
    virtual bool QueryYesNo() const;
    virtual unsigned QueryNumberA() const;
    virtual unsigned QueryNumberB() const;
    virtual unsigned QueryNumberC() const;
    virtual const char* GetBankName(unsigned index) const;
    // A new conversation object the caller owns, or null.
    virtual Midi* CreateMidi() const;
};

// The EX5, EX5R and EX7.
class EX5Info : public DriverInfo {
public:
    static constexpr unsigned kCategoryCount = 23;
    static constexpr unsigned kVoiceCount = 256;
    static constexpr unsigned kDrumCategory = 17;

    // The voice library cannot build a conversation object itself (that lives
    // a layer above it), so the instrument layer hands in its factory.
    explicit EX5Info(MidiFactory factory = nullptr);
    ~EX5Info() override;

    const char* GetDisplayName() const override;
    unsigned GetBankCount() const override;
    bool QueryYesNo() const override;
    unsigned QueryNumberA() const override;
    unsigned QueryNumberB() const override;
    unsigned QueryNumberC() const override;
    const char* GetBankName(unsigned index) const override;
    Midi* CreateMidi() const override;

    // Any index of 23 or more gives entry 0, "--" / "No Assign".
    virtual const char* GetCategoryCode(unsigned index) const;
    virtual const char* GetCategoryName(unsigned index) const;
    virtual unsigned GetVoiceCount() const;

    void SetMidiFactory(MidiFactory factory);

private:
    std::atomic<MidiFactory> factory_;
};

struct FamilyRegistry {
    unsigned count;
    DriverInfo* const* entries;
};

// The fixed table of supported families; entry 0 is the program's EX5Info.
extern const FamilyRegistry familyRegistry;

// Registry entry `index`, or null when there is no such entry.
DriverInfo* GetFamily(unsigned index);
