#include "app/Settings.h"

#include <algorithm>
#include <array>

#include "app/RegistryKey.h"

namespace {

// What a value reads as when the key is there but the value is not.
constexpr const char* kAbsentPath = "C:\\";
constexpr std::int32_t kAbsentPort = 1;  // the second line of the list
constexpr std::int32_t kAbsentSysexDelay = 25;
constexpr std::int32_t kAbsentMidiDelay = 500;
constexpr std::int32_t kAbsentDeviceNo = 1;

std::int32_t Selectable(std::int32_t line, std::optional<int> count)
{
    return line >= 0 && (!count || line < *count) ? line : -1;
}

RegistryKey SettingsKey()
{
    RegistryKey key;
    key.SetRootKey(HKEY_LOCAL_MACHINE);
    return key;
}

// The reading half of the start-up load; false when the key did not open.
bool ReadStored(RegistryKey& key, SettingsView& view)
{
    if (!key.SetKey(kSettingsKeyPath, false)) {
        return false;
    }
    view.SetCurrentFolder(key.ReadString("Path", kAbsentPath));
    view.SelectMidiIn(key.ReadInt("midiin", kAbsentPort));
    view.SelectMidiOut(key.ReadInt("midiout", kAbsentPort));
    view.SetSysexDelay(static_cast<std::uint32_t>(key.ReadInt("delay", kAbsentSysexDelay)));
    view.SetMidiDelay(static_cast<std::uint32_t>(key.ReadInt("mididelay", kAbsentMidiDelay)));
    view.SetDeviceNo(static_cast<std::uint32_t>(key.ReadInt("deviceno", kAbsentDeviceNo)));
    view.SetKeepOnTop(key.ReadBool("keepontop", false));
    return true;
}

}  // namespace

SettingsView::~SettingsView() = default;

MemorySettings::MemorySettings(Settings initial, std::optional<PortCounts> ports)
    : values_(std::move(initial)), ports_(ports)
{
}

void MemorySettings::SelectMidiIn(std::int32_t line)
{
    values_.midiIn = Selectable(line, ports_ ? std::optional<int>(ports_->in) : std::nullopt);
}

void MemorySettings::SelectMidiOut(std::int32_t line)
{
    values_.midiOut = Selectable(line, ports_ ? std::optional<int>(ports_->out) : std::nullopt);
}

void LoadSettings(SettingsView& view)
{
    RegistryKey key = SettingsKey();
    if (!ReadStored(key, view) && key.SetKey(kSettingsKeyPath, true)) {
        key.WriteString("Path", kAbsentPath);
    }
}

bool SaveSettings(const SettingsView& view)
{
    RegistryKey key = SettingsKey();
    if (!key.SetKey(kSettingsKeyPath, true)) {
        return false;
    }
    const std::array<bool, 7> stored = {
        key.WriteString("Path", view.CurrentFolder()),
        key.WriteInt("midiin", view.SelectedMidiIn()),
        key.WriteInt("midiout", view.SelectedMidiOut()),
        key.WriteInt("deviceno", static_cast<std::int32_t>(view.DeviceNo())),
        key.WriteInt("delay", static_cast<std::int32_t>(view.SysexDelay())),
        key.WriteInt("mididelay", static_cast<std::int32_t>(view.MidiDelay())),
        key.WriteBool("keepontop", view.KeepOnTop()),
    };
    return std::all_of(stored.begin(), stored.end(), [](bool ok) { return ok; });
}

std::optional<Settings> StoredSettings(std::optional<PortCounts> ports)
{
    MemorySettings view(Settings{}, ports);
    RegistryKey key = SettingsKey();
    if (!ReadStored(key, view)) {
        return std::nullopt;
    }
    return view.Values();
}

Settings StartSettings(std::optional<PortCounts> ports)
{
    return StoredSettings(ports).value_or(Settings{});
}

std::vector<std::pair<std::string, std::string>> SettingsAsText(const Settings& settings)
{
    return {
        {"Path", settings.path},
        {"midiin", std::to_string(settings.midiIn)},
        {"midiout", std::to_string(settings.midiOut)},
        {"delay", std::to_string(settings.sysexDelay)},
        {"mididelay", std::to_string(settings.midiDelay)},
        {"deviceno", std::to_string(settings.deviceNo)},
        {"keepontop", settings.keepOnTop ? "1" : "0"},
    };
}
