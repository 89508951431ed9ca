#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/MidiDriver.h"
#include "platform/midi/WinmmApi.h"

// Windows's multimedia MIDI ports, through winmm (or whatever table a test
// gives it). winmm numbers its ports afresh whenever one comes or goes, so
// an open looks for the port under the name it was listed with. A long
// message is done once winmm has given its header back; input arrives in
// a few buffers kept queued with winmm, whose callback only hands them to
// a relay thread of the port, which passes the bytes on and queues the
// buffers again. winmm's MIDI mapper is never listed.
class WinmmMidiDriver final : public MidiDriver {
public:
    explicit WinmmMidiDriver(const winmm::Api& api = winmm::SystemApi());
    ~WinmmMidiDriver() override;

    UINT OutputCount() override;
    std::string OutputName(UINT port) override;
    UINT InputCount() override;
    std::string InputName(UINT port) override;
    MMRESULT OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device) override;
    MMRESULT OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override;

    // A port of the last listing: winmm's number for it then, and its name.
    struct Listed {
        UINT id;
        std::string name;
    };

private:
    const winmm::Api api_;
    std::mutex mutex_;
    std::vector<Listed> outputs_;  // the last listing
    std::vector<Listed> inputs_;
};
