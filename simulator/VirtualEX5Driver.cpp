#include "simulator/VirtualEX5Driver.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/midi/StreamDevices.h"

using platform::OutputLine;
using platform::SendPacer;

// What the two ports and the driver share; open ports keep it alive after
// the driver is gone.
struct VirtualEX5Driver::Shared {
    explicit Shared(const virtual_ex5::Config& config) : instrument(config) {}

    VirtualEX5 instrument;
    std::mutex mutex;                  // guards everything below
    platform::ReceiverSlot receiver;   // the open input port's
    bool outputOpen = false;
    bool inputOpen = false;

    // Hands an answer to the input port, if one is open.
    void Deliver(std::span<const std::uint8_t> message)
    {
        const std::lock_guard lock(mutex);
        receiver.Deliver(message);
    }
};

namespace {

std::chrono::microseconds WireTime(std::size_t bytes)
{
    return std::chrono::microseconds(bytes * 1000000 / virtual_ex5::kWireBytesPerSecond);
}

class VirtualOutLine final : public OutputLine {
public:
    explicit VirtualOutLine(std::shared_ptr<VirtualEX5Driver::Shared> shared) : shared_(std::move(shared)) {}
    ~VirtualOutLine() override
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->outputOpen = false;
    }

    // On the port's sender thread: the request's wire time, the instrument's
    // answer, then the answer's wire time back.
    MMRESULT Send(std::span<const std::uint8_t> message, SendPacer& pacer) override
    {
        const bool wire = shared_->instrument.GetConfig().wire;
        if (wire && !pacer.Pause(WireTime(message.size()))) {
            return MMSYSERR_NOERROR;  // taken back by a reset: nothing to report
        }
        const auto answers = shared_->instrument.Receive(message);
        pacer.Sent();
        for (const auto& answer : answers) {
            if (wire && !pacer.Pause(WireTime(answer.size()))) {
                break;
            }
            shared_->Deliver(answer);
        }
        return MMSYSERR_NOERROR;
    }

private:
    std::shared_ptr<VirtualEX5Driver::Shared> shared_;
};

class VirtualInLine final : public platform::SlotInputLine {
public:
    explicit VirtualInLine(std::shared_ptr<VirtualEX5Driver::Shared> shared)
        : SlotInputLine(shared->mutex, shared->receiver), shared_(std::move(shared))
    {
    }
    ~VirtualInLine() override
    {
        Disconnect();
        const std::lock_guard lock(shared_->mutex);
        shared_->inputOpen = false;
    }

private:
    std::shared_ptr<VirtualEX5Driver::Shared> shared_;
};

// Each port is open once at a time: marks port `port` open through `open`,
// or says why it cannot be.
MMRESULT Claim(VirtualEX5Driver::Shared& shared, UINT port, bool VirtualEX5Driver::Shared::*open)
{
    if (port != 0) {
        platform::ExplainMidiFailure("the built-in instrument has one port each way");
        return MMSYSERR_BADDEVICEID;
    }
    const std::lock_guard lock(shared.mutex);
    if (shared.*open) {
        platform::ExplainMidiFailure("the built-in instrument's port is open already, and it takes one user at a time");
        return MMSYSERR_ALLOCATED;
    }
    shared.*open = true;
    return MMSYSERR_NOERROR;
}

std::string PortName(const VirtualEX5& instrument)
{
    return std::string("Sonderik virtual ") + virtual_ex5::ModelName(instrument.GetConfig().model) +
           " (built in)";
}

}  // namespace

VirtualEX5Driver::VirtualEX5Driver(const virtual_ex5::Config& config)
    : shared_(std::make_shared<Shared>(config))
{
}

VirtualEX5Driver::~VirtualEX5Driver() = default;

virtual_ex5::Config VirtualEX5Driver::ConfigFromEnvironment()
{
    const char* text = std::getenv("SONDERIK_VIRTUAL_EX5");
    std::vector<std::string> problems;
    const virtual_ex5::Config config = virtual_ex5::ParseConfig(text != nullptr ? text : "", &problems);
    for (const auto& problem : problems) {
        std::fprintf(stderr, "SONDERIK_VIRTUAL_EX5: ignored %s\n", problem.c_str());
    }
    return config;
}

VirtualEX5& VirtualEX5Driver::Instrument() { return shared_->instrument; }

UINT VirtualEX5Driver::OutputCount() { return 1; }
UINT VirtualEX5Driver::InputCount() { return 1; }

std::string VirtualEX5Driver::OutputName(UINT) { return PortName(shared_->instrument); }
std::string VirtualEX5Driver::InputName(UINT) { return PortName(shared_->instrument); }

MMRESULT VirtualEX5Driver::OpenOutput(UINT port, const MidiOutCallback& callback,
                                      std::shared_ptr<MidiOutDevice>& device)
{
    const MMRESULT claimed = Claim(*shared_, port, &Shared::outputOpen);
    if (claimed == MMSYSERR_NOERROR) {
        device = std::make_shared<platform::StreamOutDevice>(std::make_unique<VirtualOutLine>(shared_), callback);
    }
    return claimed;
}

MMRESULT VirtualEX5Driver::OpenInput(UINT port, const MidiInCallback& callback,
                                     std::shared_ptr<MidiInDevice>& device)
{
    const MMRESULT claimed = Claim(*shared_, port, &Shared::inputOpen);
    if (claimed == MMSYSERR_NOERROR) {
        device = std::make_shared<platform::StreamInDevice>(std::make_unique<VirtualInLine>(shared_), callback);
    }
    return claimed;
}
