#include "platform/midi/RtMidiDriver.h"

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <optional>

#include "platform/midi/StreamDevices.h"

using platform::OutputLine;
using platform::SendPacer;

namespace {

// RtMidi reports through this callback instead of printing or throwing
// once it is installed; the last message is kept for the result code.
void KeepError(RtMidiError::Type, const std::string& text, void* userData)
{
    *static_cast<std::string*>(userData) = text;
}

// ALSA prints its failures unless told otherwise; a machine without a
// sequencer is a normal case here and not worth a word.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

bool AlsaSequencerUsable()
{
    snd_lib_error_set_handler(&QuietAlsa);
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        return false;
    }
    snd_seq_close(seq);
    return true;
}

class RtOutLine final : public OutputLine {
public:
    explicit RtOutLine(std::unique_ptr<RtMidiOut> out) : out_(std::move(out))
    {
        out_->setErrorCallback(KeepError, &lastError_);
    }
    ~RtOutLine() override
    {
        try {
            out_->closePort();
        } catch (const RtMidiError& e) {
            lastError_ = e.getMessage();  // closing is best effort; the port goes anyway
        }
    }

    // The sequencer has taken the event when sendMessage returns (RtMidi
    // drains ALSA's output buffer); whatever it refused came through
    // KeepError.
    MMRESULT Send(std::span<const std::uint8_t> message, SendPacer&) override
    {
        lastError_.clear();
        try {
            out_->sendMessage(message.data(), message.size());
        } catch (const RtMidiError& e) {
            lastError_ = e.getMessage();
        }
        if (lastError_.empty()) {
            return MMSYSERR_NOERROR;
        }
        platform::ExplainMidiFailure(lastError_);
        return MMSYSERR_ERROR;
    }

private:
    std::string lastError_;
    std::unique_ptr<RtMidiOut> out_;
};

// What RtMidi's input thread delivers to, made before the line that
// connects it.
struct RtInSlot {
    std::mutex mutex;
    platform::ReceiverSlot slot;
};

class RtInLine final : private RtInSlot, public platform::SlotInputLine {
public:
    explicit RtInLine(std::unique_ptr<RtMidiIn> in) : SlotInputLine(mutex, slot), in_(std::move(in))
    {
        in_->setErrorCallback(KeepError, &lastError_);
        in_->setCallback(&RtInLine::OnMessage, this);
    }
    ~RtInLine() override
    {
        Disconnect();
        try {
            in_->cancelCallback();
            in_->closePort();
        } catch (const RtMidiError& e) {
            lastError_ = e.getMessage();  // closing is best effort; the port goes anyway
        }
    }

private:
    // On RtMidi's input thread: hand over and return.
    static void OnMessage(double, std::vector<unsigned char>* message, void* self)
    {
        auto* line = static_cast<RtInLine*>(self);
        const std::lock_guard lock(line->mutex);
        if (message != nullptr) {
            line->slot.Deliver(std::span<const std::uint8_t>(message->data(), message->size()));
        }
    }

    std::string lastError_;
    std::unique_ptr<RtMidiIn> in_;
};

// The ports an RtMidi object lists now, without this process's own.
// `lastError` is where the object's error callback writes; whatever it or
// a throw said is the listing's reason.
template <typename Rt>
std::vector<std::string> ListPorts(Rt& rt, const std::string& ownPrefix, std::string& lastError)
{
    std::vector<std::string> names;
    lastError.clear();
    try {
        const unsigned count = rt.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string name = rt.getPortName(i);
            if (name.rfind(ownPrefix, 0) != 0) {
                names.push_back(std::move(name));
            }
        }
    } catch (const RtMidiError& e) {
        lastError = e.getMessage();
    }
    platform::ExplainMidiFailure(lastError);
    return names;
}

// Where the port listed as `name` is in RtMidi's numbering now.
template <typename Rt>
std::optional<unsigned> IndexOf(Rt& rt, const std::string& name)
{
    try {
        const unsigned count = rt.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (rt.getPortName(i) == name) {
                return i;
            }
        }
    } catch (const RtMidiError&) {
        return std::nullopt;  // the sequencer went: as good as gone
    }
    return std::nullopt;
}

std::string GoneText(const std::string& name) { return "the ALSA sequencer has no port \"" + name + "\" any more"; }

}  // namespace

// RtMidi's listing objects for the sequencer.
struct RtMidiDriver::Api {
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    std::string lastError;

    static std::unique_ptr<Api> Make(const std::string& clientName)
    {
        auto made = std::make_unique<Api>();
        try {
            made->in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, clientName);
            made->in->setErrorCallback(KeepError, &made->lastError);
            made->out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName);
            made->out->setErrorCallback(KeepError, &made->lastError);
        } catch (const RtMidiError& e) {
            platform::ExplainMidiFailure(e.getMessage());
            return nullptr;  // the sequencer went between the look and now
        }
        return made;
    }
};

RtMidiDriver::RtMidiDriver() : clientName_("Sonderik-" + std::to_string(getpid())) {}

RtMidiDriver::~RtMidiDriver() = default;

void RtMidiDriver::Probe()
{
    if (!probed_ && !alsa_) {
        probed_ = true;
        if (AlsaSequencerUsable()) {
            alsa_ = Api::Make(clientName_);
        }
    }
}

void RtMidiDriver::Rescan()
{
    const std::lock_guard lock(mutex_);
    probed_ = false;
}

UINT RtMidiDriver::OutputCount()
{
    const std::lock_guard lock(mutex_);
    Probe();
    outputs_ = alsa_ ? ListPorts(*alsa_->out, clientName_ + ":", alsa_->lastError) : std::vector<std::string>{};
    return static_cast<UINT>(outputs_.size());
}

UINT RtMidiDriver::InputCount()
{
    const std::lock_guard lock(mutex_);
    Probe();
    inputs_ = alsa_ ? ListPorts(*alsa_->in, clientName_ + ":", alsa_->lastError) : std::vector<std::string>{};
    return static_cast<UINT>(inputs_.size());
}

std::string RtMidiDriver::OutputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    return port < outputs_.size() ? outputs_[port] : std::string();
}

std::string RtMidiDriver::InputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    return port < inputs_.size() ? inputs_[port] : std::string();
}

MMRESULT RtMidiDriver::OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device)
{
    const std::lock_guard lock(mutex_);
    if (!alsa_ || port >= outputs_.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    const auto index = IndexOf(*alsa_->out, outputs_[port]);
    if (!index) {
        platform::ExplainMidiFailure(GoneText(outputs_[port]));
        return MIDIERR_NODEVICE;  // listed, but gone since
    }
    try {
        auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName_);
        std::string error;
        out->setErrorCallback(KeepError, &error);
        out->openPort(*index, "out");
        if (!out->isPortOpen()) {
            platform::ExplainMidiFailure(error);
            return MMSYSERR_ERROR;
        }
        device = std::make_shared<platform::StreamOutDevice>(std::make_unique<RtOutLine>(std::move(out)), callback);
    } catch (const RtMidiError& e) {
        platform::ExplainMidiFailure(e.getMessage());
        return MMSYSERR_NODRIVER;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT RtMidiDriver::OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device)
{
    const std::lock_guard lock(mutex_);
    if (!alsa_ || port >= inputs_.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    const auto index = IndexOf(*alsa_->in, inputs_[port]);
    if (!index) {
        platform::ExplainMidiFailure(GoneText(inputs_[port]));
        return MIDIERR_NODEVICE;
    }
    try {
        auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, clientName_);
        std::string error;
        in->setErrorCallback(KeepError, &error);
        in->ignoreTypes(false, true, true);  // SysEx is what we are here for
        in->openPort(*index, "in");
        if (!in->isPortOpen()) {
            platform::ExplainMidiFailure(error);
            return MMSYSERR_ERROR;
        }
        device = std::make_shared<platform::StreamInDevice>(std::make_unique<RtInLine>(std::move(in)), callback);
    } catch (const RtMidiError& e) {
        platform::ExplainMidiFailure(e.getMessage());
        return MMSYSERR_NODRIVER;
    }
    return MMSYSERR_NOERROR;
}
