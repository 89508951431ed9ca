#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/midi/MidiDriver.h"

MidiOutDevice::~MidiOutDevice() = default;
MidiInDevice::~MidiInDevice() = default;
MidiDriver::~MidiDriver() = default;

namespace {

// Everything the free midi* functions share: the installed drivers and the
// open devices by handle. Handles are looked up here, never dereferenced
// blindly, so a closed or made-up handle answers MMSYSERR_INVALHANDLE; a
// device is held by shared pointer while a call runs on it, so a close on
// another thread cannot free it under that call.
// The ports of the last listing of one direction: how many each driver had.
struct Listing {
    bool made = false;
    std::vector<std::pair<std::shared_ptr<MidiDriver>, UINT>> parts;
};

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

// midiOutOpen and midiInOpen: the callback checked, the port of the last
// listing opened by its driver and the device kept by its handle. A failed
// open makes the next count list again, as the port may have gone.
template <typename Callback, typename Proc, typename Device, typename OpenFn>
MMRESULT OpenPort(Device** handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags,
                  Direction direction, std::map<Device*, std::shared_ptr<Device>>& table, OpenFn open)
{
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;  // as on Windows: a failed open leaves no handle behind
    Callback target;
    if (flags == CALLBACK_FUNCTION) {
        if (callback == 0) {
            return MMSYSERR_INVALPARAM;
        }
        target.proc = reinterpret_cast<Proc>(callback);
        target.instance = instance;
    } else if (flags != CALLBACK_NULL) {
        return MMSYSERR_INVALFLAG;
    }
    const auto port = FindPort(deviceId, direction);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    std::shared_ptr<Device> device;
    const MMRESULT result = open(*port->driver, port->port, target, device);
    if (result != MMSYSERR_NOERROR) {
        Forget(direction, port->driver.get());
        return result;
    }
    if (!device) {
        return MMSYSERR_ERROR;
    }
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    *handle = device.get();
    table.emplace(device.get(), std::move(device));
    return MMSYSERR_NOERROR;
}

void CopyName(const std::string& name, CHAR (&dest)[MAXPNAMELEN])
{
    std::memset(dest, 0, sizeof dest);
    std::memcpy(dest, name.data(), std::min<std::size_t>(name.size(), sizeof dest - 1));
}

std::shared_ptr<MidiOutDevice> Find(HMIDIOUT handle)
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    const auto found = layer.outputs.find(handle);
    return found == layer.outputs.end() ? nullptr : found->second;
}

std::shared_ptr<MidiInDevice> Find(HMIDIIN handle)
{
    Layer& layer = TheLayer();
    const std::lock_guard lock(layer.mutex);
    const auto found = layer.inputs.find(handle);
    return found == layer.inputs.end() ? nullptr : found->second;
}

bool HeaderOk(LPMIDIHDR header, UINT size)
{
    return header != nullptr && size >= sizeof(MIDIHDR);
}

// Runs `call` on the device behind `handle` with a checked header.
template <typename Handle, typename Call>
MMRESULT WithHeader(Handle handle, LPMIDIHDR header, UINT size, Call call)
{
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
    const auto device = Find(handle);
    return device ? call(*device) : MMSYSERR_INVALHANDLE;
}

}  // namespace

namespace platform {

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
    if (caps == nullptr || capsSize < sizeof(MIDIOUTCAPSA)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = FindPort(deviceId, Direction::Out);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    *caps = MIDIOUTCAPSA{};
    CopyName(port->driver->OutputName(port->port), caps->szPname);
    caps->wChannelMask = 0xFFFF;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize)
{
    if (caps == nullptr || capsSize < sizeof(MIDIINCAPSA)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = FindPort(deviceId, Direction::In);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    *caps = MIDIINCAPSA{};
    CopyName(port->driver->InputName(port->port), caps->szPname);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return OpenPort<MidiOutCallback, MIDIOUTPROC>(
        handle, deviceId, callback, instance, flags, Direction::Out, TheLayer().outputs,
        [](MidiDriver& driver, UINT port, const MidiOutCallback& target, std::shared_ptr<MidiOutDevice>& device) {
            return driver.OpenOutput(port, target, device);
        });
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

MMRESULT midiOutClose(HMIDIOUT handle)
{
    const auto device = Find(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = device->Close();
    if (result == MMSYSERR_NOERROR) {
        Layer& layer = TheLayer();
        const std::lock_guard lock(layer.mutex);
        layer.outputs.erase(handle);
    }
    return result;
}

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return OpenPort<MidiInCallback, MIDIINPROC>(
        handle, deviceId, callback, instance, flags, Direction::In, TheLayer().inputs,
        [](MidiDriver& driver, UINT port, const MidiInCallback& target, std::shared_ptr<MidiInDevice>& device) {
            return driver.OpenInput(port, target, device);
        });
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

MMRESULT midiInClose(HMIDIIN handle)
{
    const auto device = Find(handle);
    if (!device) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = device->Close();
    if (result == MMSYSERR_NOERROR) {
        Layer& layer = TheLayer();
        const std::lock_guard lock(layer.mutex);
        layer.inputs.erase(handle);
    }
    return result;
}
