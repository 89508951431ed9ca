#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/midi/MidiDriver.h"

MidiOutDevice::~MidiOutDevice() = default;
MidiInDevice::~MidiInDevice() = default;
MidiDriver::~MidiDriver() = default;

namespace {

// An output port's record says it takes all sixteen channels.
constexpr WORD kAllChannels = 0xFFFF;

// What the drivers said in the midi* call this thread makes now (see
// MidiFailureReason); per thread, like the last error code.
thread_local std::string callReason;

// Each midi* call that reaches a driver starts with no reason.
void BeginCall() { callReason.clear(); }

// The ports of the last listing of one direction: how many each driver had.
struct Listing {
    bool made = false;
    std::vector<std::pair<std::shared_ptr<MidiDriver>, UINT>> parts;
};

// Everything the free midi* functions share: the installed drivers and the
// open devices by handle. Handles are looked up here, never dereferenced
// blindly, so a closed or made-up handle answers MMSYSERR_INVALHANDLE; a
// device is held by shared pointer while a call runs on it, so a close on
// another thread cannot free it under that call.
struct Layer {
    std::mutex mutex;
    bool built = false;
    std::vector<std::shared_ptr<MidiDriver>> drivers;
    Listing outputsListed;
    Listing inputsListed;
    std::map<HMIDIOUT, std::shared_ptr<MidiOutDevice>> outputs;
    std::map<HMIDIIN, std::shared_ptr<MidiInDevice>> inputs;
};

Layer& TheLayer()
{
    static Layer layer;
    return layer;
}

std::vector<std::shared_ptr<MidiDriver>> Drivers()
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    if (!layer.built) {
        layer.drivers = platform::DefaultMidiDrivers();
        layer.built = true;
    }
    return layer.drivers;
}

struct PortRef {
    std::shared_ptr<MidiDriver> driver;
    UINT port;
};

enum class Direction { Out, In };

// What the two directions differ in: their callbacks, their table of open
// devices, and which of a driver's calls name and open their ports.
template <typename CallbackType, typename ProcType, Direction direction, auto table, auto name, auto open>
struct SideOf {
    using Callback = CallbackType;
    using Proc = ProcType;
    static constexpr Direction kDirection = direction;
    static auto& Table(Layer& layer) { return layer.*table; }
    static std::string Name(MidiDriver& driver, UINT port) { return (driver.*name)(port); }
    template <typename Device>
    static MMRESULT Open(MidiDriver& driver, UINT port, const Callback& callback, std::shared_ptr<Device>& device)
    {
        return (driver.*open)(port, callback, device);
    }
};

template <typename Device>
struct Side;
template <>
struct Side<MidiOutDevice> : SideOf<MidiOutCallback, MIDIOUTPROC, Direction::Out, &Layer::outputs,
                                    &MidiDriver::OutputName, &MidiDriver::OpenOutput> {};
template <>
struct Side<MidiInDevice> : SideOf<MidiInCallback, MIDIINPROC, Direction::In, &Layer::inputs,
                                   &MidiDriver::InputName, &MidiDriver::OpenInput> {};

Listing& ListingOf(Layer& layer, Direction direction)
{
    return direction == Direction::Out ? layer.outputsListed : layer.inputsListed;
}

// Lists the ports of every driver anew.
void List(Direction direction)
{
    Listing listing;
    listing.made = true;
    for (const auto& driver : Drivers()) {
        const UINT n = direction == Direction::Out ? driver->OutputCount() : driver->InputCount();
        listing.parts.emplace_back(driver, n);
    }
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    ListingOf(layer, direction) = std::move(listing);
}

Listing LastListing(Direction direction)
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    return ListingOf(layer, direction);
}

// The last listing, made now when there is none.
Listing CurrentListing(Direction direction)
{
    Listing listing = LastListing(direction);
    if (!listing.made) {
        List(direction);
        listing = LastListing(direction);
    }
    return listing;
}

UINT Total(Direction direction)
{
    BeginCall();
    UINT total = 0;
    for (const auto& part : CurrentListing(direction).parts) {
        total += part.second;
    }
    return total;
}

// The next count lists again, and the drivers look for their backends again.
void Forget(Direction direction, MidiDriver* driver)
{
    if (driver != nullptr) {
        driver->Rescan();
    }
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    ListingOf(layer, direction) = Listing{};
}

// Port `id` of the last listing (made now when there was none), or nothing.
std::optional<PortRef> FindPort(UINT_PTR id, Direction direction)
{
    const Listing listing = CurrentListing(direction);
    for (const auto& [driver, n] : listing.parts) {
        if (id < n) {
            return PortRef{driver, static_cast<UINT>(id)};
        }
        id -= n;
    }
    return std::nullopt;
}

// midiOutGetDevCapsA and midiInGetDevCapsA: a cleared record that names
// the port of the last listing.
template <typename Device, typename Caps>
MMRESULT GetCaps(UINT_PTR deviceId, Caps* caps, UINT capsSize)
{
    if (caps == nullptr || capsSize < sizeof(Caps)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = FindPort(deviceId, Side<Device>::kDirection);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    *caps = Caps{};
    const std::string name = Side<Device>::Name(*port->driver, port->port);
    std::memcpy(caps->szPname, name.data(), std::min<std::size_t>(name.size(), sizeof caps->szPname - 1));
    return MMSYSERR_NOERROR;
}

// midiOutOpen and midiInOpen: the callback checked, the port of the last
// listing opened by its driver and the device kept by its handle. A failed
// open makes the next count list again, as the port may have gone.
template <typename Device>
MMRESULT OpenPort(Device** handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    using Of = Side<Device>;
    BeginCall();
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;  // as on Windows: a failed open leaves no handle behind
    typename Of::Callback target;
    if (flags == CALLBACK_FUNCTION) {
        if (callback == 0) {
            return MMSYSERR_INVALPARAM;
        }
        target.proc = reinterpret_cast<typename Of::Proc>(callback);
        target.instance = instance;
    } else if (flags != CALLBACK_NULL) {
        return MMSYSERR_INVALFLAG;
    }
    const auto port = FindPort(deviceId, Of::kDirection);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    std::shared_ptr<Device> device;
    const MMRESULT result = Of::Open(*port->driver, port->port, target, device);
    if (result != MMSYSERR_NOERROR) {
        Forget(Of::kDirection, port->driver.get());
        return result;
    }
    if (!device) {
        return MMSYSERR_ERROR;
    }
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    *handle = device.get();
    Of::Table(layer).emplace(device.get(), std::move(device));
    return MMSYSERR_NOERROR;
}

template <typename Device>
std::shared_ptr<Device> Find(Device* handle)
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    const auto& table = Side<Device>::Table(layer);
    const auto found = table.find(handle);
    return found == table.end() ? nullptr : found->second;
}

// midiOutClose and midiInClose: the handle is forgotten once its device
// has closed.
template <typename Device>
MMRESULT ClosePort(Device* handle)
{
    BeginCall();
    const auto device = Find(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = device->Close();
    if (result == MMSYSERR_NOERROR) {
        Layer& layer = TheLayer();
        const std::lock_guard lock(layer.mutex);
        Side<Device>::Table(layer).erase(handle);
    }
    return result;
}

bool HeaderOk(LPMIDIHDR header, UINT size)
{
    return header != nullptr && size >= sizeof(MIDIHDR);
}

// Runs `call` on the device behind `handle` with a checked header.
template <typename Handle, typename Call>
MMRESULT WithHeader(Handle handle, LPMIDIHDR header, UINT size, Call call)
{
    BeginCall();
    const auto device = Find(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!HeaderOk(header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    return call(*device, *header);
}

template <typename Handle, typename Call>
MMRESULT WithDevice(Handle handle, Call call)
{
    BeginCall();
    const auto device = Find(handle);
    return device ? call(*device) : MMSYSERR_INVALHANDLE;
}

}  // namespace

namespace platform {

void ExplainMidiFailure(const std::string& reason)
{
    if (reason.empty()) {
        return;
    }
    callReason += (callReason.empty() ? "" : "; ") + reason;
}

std::string MidiFailureReason() { return callReason; }

std::string TakeMidiFailureReason() { return std::exchange(callReason, std::string()); }

void InstallMidiDrivers(std::vector<std::shared_ptr<MidiDriver>> drivers)
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    layer.drivers = std::move(drivers);
    layer.built = true;
    layer.outputsListed = Listing{};
    layer.inputsListed = Listing{};
}

void ResetMidiDrivers()
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    layer.drivers.clear();
    layer.built = false;
    layer.outputsListed = Listing{};
    layer.inputsListed = Listing{};
}

void RescanMidiPorts()
{
    for (const auto& driver : Drivers()) {
        driver->Rescan();
    }
    Forget(Direction::Out, nullptr);
    Forget(Direction::In, nullptr);
}

std::optional<std::vector<std::shared_ptr<MidiDriver>>> InstalledMidiDrivers()
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    if (!layer.built) {
        return std::nullopt;
    }
    return layer.drivers;
}

}  // namespace platform

UINT midiOutGetNumDevs() { return Total(Direction::Out); }
UINT midiInGetNumDevs() { return Total(Direction::In); }

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize)
{
    const MMRESULT result = GetCaps<MidiOutDevice>(deviceId, caps, capsSize);
    if (result == MMSYSERR_NOERROR) {
        caps->wChannelMask = kAllChannels;
    }
    return result;
}

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize)
{
    return GetCaps<MidiInDevice>(deviceId, caps, capsSize);
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return OpenPort(handle, deviceId, callback, instance, flags);
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message)
{
    return WithDevice(handle, [&](MidiOutDevice& d) { return d.ShortMsg(message); });
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize)
{
    return WithHeader(handle, header, headerSize, [](MidiOutDevice& d, MIDIHDR& h) { return d.PrepareHeader(h); });
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize)
{
    return WithHeader(handle, header, headerSize, [](MidiOutDevice& d, MIDIHDR& h) { return d.LongMsg(h); });
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize)
{
    return WithHeader(handle, header, headerSize, [](MidiOutDevice& d, MIDIHDR& h) { return d.UnprepareHeader(h); });
}

MMRESULT midiOutReset(HMIDIOUT handle)
{
    return WithDevice(handle, [](MidiOutDevice& d) { return d.Reset(); });
}

MMRESULT midiOutClose(HMIDIOUT handle) { return ClosePort(handle); }

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return OpenPort(handle, deviceId, callback, instance, flags);
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize)
{
    return WithHeader(handle, header, headerSize, [](MidiInDevice& d, MIDIHDR& h) { return d.PrepareHeader(h); });
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize)
{
    return WithHeader(handle, header, headerSize, [](MidiInDevice& d, MIDIHDR& h) { return d.UnprepareHeader(h); });
}

MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT headerSize)
{
    return WithHeader(handle, header, headerSize, [](MidiInDevice& d, MIDIHDR& h) { return d.AddBuffer(h); });
}

MMRESULT midiInStart(HMIDIIN handle)
{
    return WithDevice(handle, [](MidiInDevice& d) { return d.Start(); });
}

MMRESULT midiInStop(HMIDIIN handle)
{
    return WithDevice(handle, [](MidiInDevice& d) { return d.Stop(); });
}

MMRESULT midiInReset(HMIDIIN handle)
{
    return WithDevice(handle, [](MidiInDevice& d) { return d.Reset(); });
}

MMRESULT midiInClose(HMIDIIN handle) { return ClosePort(handle); }
