#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/MidiDriver.h"

class RtMidiIn;
class RtMidiOut;

// The ALSA sequencer's ports through RtMidi. The sequencer is looked for
// once (again after Rescan), by opening it directly with ALSA's own error
// reports silenced, so RtMidi is only made where it will work and never
// prints. Each open port is an ALSA client of its own named after this
// process, and the listings leave those clients out. JACK has a driver of
// its own (JackMidiDriver).
class RtMidiDriver final : public MidiDriver {
public:
    RtMidiDriver();
    ~RtMidiDriver() override;

    UINT OutputCount() override;
    std::string OutputName(UINT port) override;
    UINT InputCount() override;
    std::string InputName(UINT port) override;
    MMRESULT OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device) override;
    MMRESULT OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override;
    void Rescan() override;

private:
    struct Api;
    void Probe();  // caller holds mutex_

    std::mutex mutex_;
    std::string clientName_;
    bool probed_ = false;
    std::unique_ptr<Api> alsa_;
    std::vector<std::string> outputs_;  // the last listing
    std::vector<std::string> inputs_;
};
