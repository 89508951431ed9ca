// Any byte stream on a MIDI input, in any pieces: the input device files it
// into the capture buffers of MidiInWin, whose callback counts the messages,
// and every message read back fits where it is read to.
//
// Input: a byte for the number of messages awaited, a byte for the capture
// size, then pieces, each a length byte and that many bytes as one delivery
// from the backend. A piece of length 0 stops and re-arms the capture, as a
// second request does.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "midi/MidiInWin.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/StreamDevices.h"
#include "voice/EXException.h"
#include "voice/EXParams.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Where the bytes come in: the receiver the open port connected.
struct Wire {
    std::mutex mutex;
    platform::ReceiverSlot receiver;

    void Deliver(std::span<const std::uint8_t> bytes)
    {
        const std::lock_guard lock(mutex);
        receiver.Deliver(bytes);
    }
};

class WireLine final : public platform::SlotInputLine {
public:
    explicit WireLine(std::shared_ptr<Wire> wire) : SlotInputLine(wire->mutex, wire->receiver), wire_(std::move(wire)) {}

private:
    std::shared_ptr<Wire> wire_;
};

class WireDriver final : public MidiDriver {
public:
    explicit WireDriver(std::shared_ptr<Wire> wire) : wire_(std::move(wire)) {}
    UINT OutputCount() override { return 0; }
    std::string OutputName(UINT) override { return {}; }
    UINT InputCount() override { return 1; }
    std::string InputName(UINT) override { return "Fuzz In"; }
    MMRESULT OpenOutput(UINT, const MidiOutCallback&, std::shared_ptr<MidiOutDevice>&) override
    {
        return MMSYSERR_BADDEVICEID;
    }
    MMRESULT OpenInput(UINT, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override
    {
        device = std::make_shared<platform::StreamInDevice>(std::make_unique<WireLine>(wire_), callback);
        return MMSYSERR_NOERROR;
    }

private:
    std::shared_ptr<Wire> wire_;
};

std::shared_ptr<Wire> TheWire()
{
    static const std::shared_ptr<Wire> wire = [] {
        auto made = std::make_shared<Wire>();
        platform::InstallMidiDrivers({std::make_shared<WireDriver>(made)});
        return made;
    }();
    return wire;
}

// Reads every message there is, into a destination of exactly `size` bytes.
void ReadAll(const MidiInWin& port, int size)
{
    std::vector<std::uint8_t> dest(static_cast<std::size_t>(size));
    for (int i = 0; i <= port.GetMessageCount() + 1; ++i) {
        const int got = port.ReadMessage(size == 0 ? nullptr : dest.data(), size, i);
        Check(got >= 0 && got <= size, "a message read fits its destination");
    }
}

void Run(const std::uint8_t* data, std::size_t size, EXParams& params)
{
    const std::shared_ptr<Wire> wire = TheWire();
    const int expected = 1 + data[0] % 4;
    const int bytes = 16 * data[1];
    MidiInWin port;
    port.Open(0);
    port.StartCapture(params, bytes, expected);
    std::size_t at = 2;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        ++at;
        if (length == 0) {
            port.Stop();
            port.StartCapture(params, bytes, expected);
            continue;
        }
        wire->Deliver(std::span<const std::uint8_t>(data + at, length));
        at += length;
    }
    port.Stop();
    Check(port.GetMessageCount() <= port.GetBufferCount(), "no more messages than buffers handed back");
    ReadAll(port, MidiInWin::kBufferSize * port.GetBufferCount());
    ReadAll(port, 15);
    ReadAll(port, 0);
    port.Close(params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    static std::FILE* const log = std::fopen("/dev/null", "w");
    EXParams params;
    params.log = log;
    params.sysexDelay = 1;
    params.attempts = 4;
    try {
        Run(data, size, params);
    } catch (EXException* e) {
        std::fprintf(stderr, "raised: %s\n", e->message);
        delete e;
        std::abort();  // the port is fine and the driver answers: nothing may fail
    }
    return 0;
}
