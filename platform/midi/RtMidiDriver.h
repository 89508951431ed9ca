#pragma once

#include <memory>
#include <mutex>

#include "platform/midi/MidiDriver.h"

class RtMidiIn;
class RtMidiOut;

// The system's MIDI through RtMidi: the ALSA sequencer's ports when there is
// a sequencer, then the ports of a running JACK server. Each API is chosen
// explicitly and every RtMidi error is caught, so a machine with neither
// simply lists no ports. JACK is never asked to start a server.
class RtMidiDriver final : public MidiDriver {
public:
    RtMidiDriver();
    ~RtMidiDriver() override;

    UINT OutputCount() override;
    std::string OutputName(UINT port) override;
    UINT InputCount() override;
    std::string InputName(UINT port) override;
    MMRESULT OpenOutput(UINT port, std::shared_ptr<MidiOutDevice>& device) override;
    MMRESULT OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override;

private:
    struct Api;
    // The APIs that are there now, ALSA first; found again while missing.
    void Probe();

    std::mutex mutex_;
    std::unique_ptr<Api> alsa_;
    std::unique_ptr<Api> jack_;
};
