#pragma once

#include <memory>

#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5.h"

// The built-in virtual instrument as a driver: one output port that leads
// into a VirtualEX5 and one input port that carries its answers back. Each
// port can be open once at a time. The programs install it after the
// system's drivers (ProgramDrivers.h); tests install it alone.
class VirtualEX5Driver final : public MidiDriver {
public:
    explicit VirtualEX5Driver(const virtual_ex5::Config& config);
    ~VirtualEX5Driver() override;

    // Reads SONDERIK_VIRTUAL_EX5; a setting it cannot use is reported on
    // standard error and left at its default.
    static virtual_ex5::Config ConfigFromEnvironment();

    VirtualEX5& Instrument();

    UINT OutputCount() override;
    std::string OutputName(UINT port) override;
    UINT InputCount() override;
    std::string InputName(UINT port) override;
    MMRESULT OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device) override;
    MMRESULT OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};
