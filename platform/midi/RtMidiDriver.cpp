#include "platform/midi/RtMidiDriver.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/midi/StreamDevices.h"

using platform::InputLine;
using platform::MessageReceiver;
using platform::OutputLine;
using platform::SendPacer;

namespace {

constexpr const char* kClientName = "Sonderik";

// RtMidi reports through this callback instead of printing or throwing
// once it is installed; the last message is kept for the result code.
void KeepError(RtMidiError::Type, const std::string& text, void* userData)
{
    *static_cast<std::string*>(userData) = text;
}

// libjack prints every failed connection attempt; without a server that is
// the normal case here and not worth a word.
void QuietJack(const char*) {}

bool JackServerRunning()
{
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Sonderik-probe", JackNoStartServer, &status);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

bool AlsaSequencerPresent()
{
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
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

    // sendMessage only hands the bytes to the backend (JACK's ring buffer,
    // the ALSA sequencer), so it returns quickly.
    void Send(std::span<const std::uint8_t> message, SendPacer&) override
    {
        try {
            out_->sendMessage(message.data(), message.size());
        } catch (const RtMidiError& e) {
            lastError_ = e.getMessage();  // lost, as on a broken cable; the header is done
        }
    }

private:
    std::string lastError_;
    std::unique_ptr<RtMidiOut> out_;
};

class RtInLine final : public InputLine {
public:
    explicit RtInLine(std::unique_ptr<RtMidiIn> in) : in_(std::move(in))
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

    void Connect(MessageReceiver& receiver) override
    {
        const std::lock_guard lock(mutex_);
        receiver_ = &receiver;
    }

    void Disconnect() override
    {
        const std::lock_guard lock(mutex_);
        receiver_ = nullptr;
    }

private:
    // On RtMidi's thread (JACK's process thread): hand over and return.
    static void OnMessage(double, std::vector<unsigned char>* message, void* self)
    {
        auto* line = static_cast<RtInLine*>(self);
        const std::lock_guard lock(line->mutex_);
        if (line->receiver_ != nullptr && message != nullptr) {
            line->receiver_->Receive(std::span<const std::uint8_t>(message->data(), message->size()));
        }
    }

    std::mutex mutex_;
    MessageReceiver* receiver_ = nullptr;
    std::string lastError_;
    std::unique_ptr<RtMidiIn> in_;
};

}  // namespace

// One RtMidi API with a listing object for each direction.
struct RtMidiDriver::Api {
    RtMidi::Api api;
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    std::string lastError;

    static std::unique_ptr<Api> Make(RtMidi::Api which)
    {
        auto made = std::make_unique<Api>();
        made->api = which;
        try {
            made->in = std::make_unique<RtMidiIn>(which, kClientName);
            made->in->setErrorCallback(KeepError, &made->lastError);
            made->out = std::make_unique<RtMidiOut>(which, kClientName);
            made->out->setErrorCallback(KeepError, &made->lastError);
        } catch (const RtMidiError& e) {
            made->lastError = e.getMessage();
            return nullptr;  // this API is not available here
        }
        return made;
    }

    UINT Outputs() { return Count([&] { return out->getPortCount(); }); }
    UINT Inputs() { return Count([&] { return in->getPortCount(); }); }

    template <typename Call>
    UINT Count(Call call)
    {
        try {
            return call();
        } catch (const RtMidiError& e) {
            lastError = e.getMessage();
            return 0;
        }
    }
};

RtMidiDriver::RtMidiDriver()
{
    // A JACK client must never start a server of its own here.
    setenv("JACK_NO_START_SERVER", "1", 1);
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
}

RtMidiDriver::~RtMidiDriver() = default;

void RtMidiDriver::Probe()
{
    if (!alsa_ && AlsaSequencerPresent()) {
        alsa_ = Api::Make(RtMidi::LINUX_ALSA);
    }
    if (!jack_ && JackServerRunning()) {
        jack_ = Api::Make(RtMidi::UNIX_JACK);
    }
}

UINT RtMidiDriver::OutputCount()
{
    const std::lock_guard lock(mutex_);
    Probe();
    return (alsa_ ? alsa_->Outputs() : 0) + (jack_ ? jack_->Outputs() : 0);
}

UINT RtMidiDriver::InputCount()
{
    const std::lock_guard lock(mutex_);
    Probe();
    return (alsa_ ? alsa_->Inputs() : 0) + (jack_ ? jack_->Inputs() : 0);
}

namespace {

// Port `port` of the APIs' listings one after another: the API and its own
// number for it.
template <typename Api, typename Count>
std::optional<std::pair<Api*, unsigned>> Locate(UINT port, Api* first, Api* second, Count count)
{
    for (Api* api : {first, second}) {
        if (api == nullptr) {
            continue;
        }
        const UINT n = count(*api);
        if (port < n) {
            return std::make_pair(api, port);
        }
        port -= n;
    }
    return std::nullopt;
}

template <typename Call>
std::string Named(Call call, std::string& lastError)
{
    try {
        return call();
    } catch (const RtMidiError& e) {
        lastError = e.getMessage();
        return std::string();
    }
}

}  // namespace

std::string RtMidiDriver::OutputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    const auto where = Locate(port, alsa_.get(), jack_.get(), [](Api& a) { return a.Outputs(); });
    if (!where) {
        return std::string();
    }
    Api& api = *where->first;
    return Named([&] { return api.out->getPortName(where->second); }, api.lastError);
}

std::string RtMidiDriver::InputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    const auto where = Locate(port, alsa_.get(), jack_.get(), [](Api& a) { return a.Inputs(); });
    if (!where) {
        return std::string();
    }
    Api& api = *where->first;
    return Named([&] { return api.in->getPortName(where->second); }, api.lastError);
}

MMRESULT RtMidiDriver::OpenOutput(UINT port, std::shared_ptr<MidiOutDevice>& device)
{
    const std::lock_guard lock(mutex_);
    const auto where = Locate(port, alsa_.get(), jack_.get(), [](Api& a) { return a.Outputs(); });
    if (!where) {
        return MMSYSERR_BADDEVICEID;
    }
    try {
        auto out = std::make_unique<RtMidiOut>(where->first->api, kClientName);
        std::string error;
        out->setErrorCallback(KeepError, &error);
        out->openPort(where->second, "out");
        if (!out->isPortOpen()) {
            where->first->lastError = error;
            return MMSYSERR_ERROR;
        }
        device = std::make_shared<platform::StreamOutDevice>(std::make_unique<RtOutLine>(std::move(out)));
    } catch (const RtMidiError& e) {
        where->first->lastError = e.getMessage();
        return MMSYSERR_NODRIVER;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT RtMidiDriver::OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device)
{
    const std::lock_guard lock(mutex_);
    const auto where = Locate(port, alsa_.get(), jack_.get(), [](Api& a) { return a.Inputs(); });
    if (!where) {
        return MMSYSERR_BADDEVICEID;
    }
    try {
        auto in = std::make_unique<RtMidiIn>(where->first->api, kClientName);
        std::string error;
        in->setErrorCallback(KeepError, &error);
        in->ignoreTypes(false, true, true);  // SysEx is what we are here for
        in->openPort(where->second, "in");
        if (!in->isPortOpen()) {
            where->first->lastError = error;
            return MMSYSERR_ERROR;
        }
        device = std::make_shared<platform::StreamInDevice>(std::make_unique<RtInLine>(std::move(in)), callback);
    } catch (const RtMidiError& e) {
        where->first->lastError = e.getMessage();
        return MMSYSERR_NODRIVER;
    }
    return MMSYSERR_NOERROR;
}
