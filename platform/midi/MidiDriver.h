#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/WinMidi.h"

// The driver interface behind the midi* calls. Like RtMidi, one interface
// covers several backends, each in a file of its own and picked at run time:
// the system's MIDI (winmm, the ALSA sequencer through RtMidi, JACK);
// outside this layer, the programs' built-in virtual instrument, and for
// tests a scripted driver. The layer numbers the ports of all installed
// drivers one after another in installation order.
//
// Every device call below is made on the thread that called the matching
// midi* function; the layer has already checked the handle, the header
// pointer and its size. A device may be called from several threads at once
// only where the midi* function allows it (it never does for one port).

// An open output port: the object an HMIDIOUT points to.
struct MidiOutDevice {
    MidiOutDevice() = default;
    virtual ~MidiOutDevice();
    MidiOutDevice(const MidiOutDevice&) = delete;
    MidiOutDevice& operator=(const MidiOutDevice&) = delete;

    virtual MMRESULT ShortMsg(DWORD message) = 0;
    virtual MMRESULT PrepareHeader(MIDIHDR& header) = 0;
    virtual MMRESULT UnprepareHeader(MIDIHDR& header) = 0;
    virtual MMRESULT LongMsg(MIDIHDR& header) = 0;
    virtual MMRESULT Reset() = 0;
    // On success the layer forgets the handle and drops the device.
    virtual MMRESULT Close() = 0;
};

// An open input port: the object an HMIDIIN points to.
struct MidiInDevice {
    MidiInDevice() = default;
    virtual ~MidiInDevice();
    MidiInDevice(const MidiInDevice&) = delete;
    MidiInDevice& operator=(const MidiInDevice&) = delete;

    virtual MMRESULT PrepareHeader(MIDIHDR& header) = 0;
    virtual MMRESULT UnprepareHeader(MIDIHDR& header) = 0;
    virtual MMRESULT AddBuffer(MIDIHDR& header) = 0;
    virtual MMRESULT Start() = 0;
    virtual MMRESULT Stop() = 0;
    virtual MMRESULT Reset() = 0;
    // On success the layer forgets the handle and drops the device; the
    // callback must not run after a successful Close returns.
    virtual MMRESULT Close() = 0;
};

// Where an input device reports: the callback and instance data given to
// midiInOpen. `proc` is null for CALLBACK_NULL.
struct MidiInCallback {
    MIDIINPROC proc = nullptr;
    DWORD_PTR instance = 0;
};

// The same for an output device and midiOutOpen.
struct MidiOutCallback {
    MIDIOUTPROC proc = nullptr;
    DWORD_PTR instance = 0;
};

class MidiDriver {
public:
    MidiDriver() = default;
    virtual ~MidiDriver();
    MidiDriver(const MidiDriver&) = delete;
    MidiDriver& operator=(const MidiDriver&) = delete;

    // A count lists the ports anew; names and opens refer to the ports of
    // the last listing of that direction, so that port n stays the port
    // the user saw as n (opening one that has gone since fails). A listing
    // leaves out the program's own ports. Backends (a JACK server, the ALSA
    // sequencer) are looked for once, not at every listing: again only
    // after Rescan.
    virtual UINT OutputCount() = 0;
    virtual std::string OutputName(UINT port) = 0;
    virtual UINT InputCount() = 0;
    virtual std::string InputName(UINT port) = 0;

    // MMSYSERR_NOERROR and a device, or a result code. The device is usable
    // at once: its connection to the port is made.
    virtual MMRESULT OpenOutput(UINT port, const MidiOutCallback& callback,
                                std::shared_ptr<MidiOutDevice>& device) = 0;
    virtual MMRESULT OpenInput(UINT port, const MidiInCallback& callback,
                               std::shared_ptr<MidiInDevice>& device) = 0;

    // The next listing looks for the backends again (the user refreshed the
    // port lists, or an open failed).
    virtual void Rescan() {}
};

namespace platform {

// What a driver calls, on the calling thread, just before it answers a
// failure: why, in its own words. Several reasons in one call are joined.
// A count may explain why a backend has no ports (no server to reach). The
// layer hands them on through MidiFailureReason (WinMidi.h).
void ExplainMidiFailure(const std::string& reason);

// What this thread's drivers explained since it last asked, which is then
// forgotten: for a thread of a device that works for callers on others.
std::string TakeMidiFailureReason();

// The drivers of the system's MIDI this build has (SONDERIK_WITH_WINMM,
// SONDERIK_WITH_ALSA, SONDERIK_WITH_JACK), in this order: winmm, the ALSA
// sequencer (RtMidi), then JACK; none at all in a build without any. The
// layer starts with them when nothing else was installed; the programs add
// their built-in instrument after them.
std::vector<std::shared_ptr<MidiDriver>> DefaultMidiDrivers();

// Replaces the installed drivers (tests install their own). Ports already
// open keep working until closed. An empty list means no ports at all.
void InstallMidiDrivers(std::vector<std::shared_ptr<MidiDriver>> drivers);

// Back to DefaultMidiDrivers(), built again at the next midi* call.
void ResetMidiDrivers();

// The drivers installed now, or nothing when DefaultMidiDrivers() is still to
// be built at the next midi* call: what to install again to go back.
std::optional<std::vector<std::shared_ptr<MidiDriver>>> InstalledMidiDrivers();

// The next count lists the ports anew, and the drivers look for their
// backends again (a JACK server started since, a device plugged in): what a
// refresh of the port lists calls.
void RescanMidiPorts();

}  // namespace platform
