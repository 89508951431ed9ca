#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/midi/MidiDriver.h"

// The MIDI drivers of a scope: what was installed when it began comes back
// when it ends, however it ends (a failed ASSERT leaves a test body early), so
// one test's drivers never reach the next.
class ScopedMidiDrivers {
public:
    using Drivers = std::vector<std::shared_ptr<MidiDriver>>;

    // Installs nothing yet: for a scope in which the code under test installs
    // its own (the command line's MIDI set-up) or that installs them later.
    ScopedMidiDrivers() : previous_(platform::InstalledMidiDrivers()) {}
    explicit ScopedMidiDrivers(Drivers drivers) : ScopedMidiDrivers() { Install(std::move(drivers)); }
    ~ScopedMidiDrivers()
    {
        if (previous_) {
            platform::InstallMidiDrivers(std::move(*previous_));
        } else {
            platform::ResetMidiDrivers();
        }
    }
    ScopedMidiDrivers(const ScopedMidiDrivers&) = delete;
    ScopedMidiDrivers& operator=(const ScopedMidiDrivers&) = delete;

    // Other drivers within the same scope (a device plugged in, the ports gone).
    void Install(Drivers drivers) const { platform::InstallMidiDrivers(std::move(drivers)); }

private:
    std::optional<Drivers> previous_;
};
