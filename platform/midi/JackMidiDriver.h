#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/MidiDriver.h"

// The ports of a running JACK server, straight on libjack. The program is
// one JACK client ("Sonderik", or the name the server makes of it), made at
// the first listing that finds a server (again after Rescan, or after the
// server went); each open port is one JACK port of that client, connected
// to the chosen port before the open returns. A closed port stays, idle and
// connected, until the next open of the same port takes it again: a job
// then starts without a round of registering and connecting. The client's own process
// callback, realtime and without locks or heap calls, carries what the
// output ports queued and passes what the input ports received to a relay
// thread that hands it to their devices. A message is done once the cycle
// that carried it has ended; a message too large for a port's ring or for
// a cycle, or sent after the server went, is refused. A client whose server went is closed at the next
// listing, before a new one is looked for, even while ports opened on it
// are still held. The client's own ports are never listed.
// A server is never started.
class JackMidiDriver final : public MidiDriver {
public:
    JackMidiDriver();
    ~JackMidiDriver() override;

    UINT OutputCount() override;
    std::string OutputName(UINT port) override;
    UINT InputCount() override;
    std::string InputName(UINT port) override;
    MMRESULT OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device) override;
    MMRESULT OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override;
    void Rescan() override;

    // The client's name on the server, empty while there is none.
    std::string ClientName();

    struct Client;

private:
    std::shared_ptr<Client> Connected();  // caller holds mutex_

    std::mutex mutex_;
    std::shared_ptr<Client> client_;
    bool probed_ = false;
    int portsMade_ = 0;
    std::vector<std::string> outputs_;  // the last listing
    std::vector<std::string> inputs_;
};
