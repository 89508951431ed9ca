#include "app/Settings.h"

#include <algorithm>
#include <array>

#include "app/RegistryKey.h"
#include "app/SettingsPlace.h"

namespace {

// What a value reads as when the key is there but the value is not.
constexpr const char* kAbsentPath = "C:\\";
constexpr std::int32_t kAbsentPort = 1;  // the second line of the list
constexpr std::int32_t kAbsentSysexDelay = 25;
constexpr std::int32_t kAbsentMidiDelay = 500;
constexpr std::int32_t kAbsentDeviceNo = 1;

// The stored port as a list of `lines` shows it; as stored without a list.
StoredPort Selected(const StoredPort& port, const std::vector<std::string>* lines)
{
    if (lines == nullptr) {
        return port;
    }
    const std::int32_t line = ChoosePort(*lines, port);
    return line < 0 ? StoredPort{} : StoredPort{line, (*lines)[static_cast<std::size_t>(line)]};
}

RegistryKey SettingsKey(HKEY root = SettingsRoot())
{
    RegistryKey key;
    key.SetRootKey(root);
    return key;
}

void ReadValues(const RegistryKey& key, SettingsView& view)
{
    view.SetCurrentFolder(key.ReadString("Path", kAbsentPath));
    view.SelectMidiIn(StoredPort{key.ReadInt("midiin", kAbsentPort), key.ReadString("midiinname", "")});
    view.SelectMidiOut(StoredPort{key.ReadInt("midiout", kAbsentPort), key.ReadString("midioutname", "")});
    view.SetSysexDelay(static_cast<std::uint32_t>(key.ReadInt("delay", kAbsentSysexDelay)));
    view.SetMidiDelay(static_cast<std::uint32_t>(key.ReadInt("mididelay", kAbsentMidiDelay)));
    view.SetDeviceNo(static_cast<std::uint32_t>(key.ReadInt("deviceno", kAbsentDeviceNo)));
    view.SetKeepOnTop(key.ReadBool("keepontop", false));
    view.SetListOrder(key.ReadBool("catorder", false), key.ReadBool("showinits", false));
    view.SetWindowPlace(key.ReadString("window", ""));
}

// The reading half of the start-up load; false when there was no key to read.
bool ReadStored(SettingsView& view)
{
    RegistryKey key = SettingsKey();
    if (key.SetKey(kSettingsKeyPath, false)) {
        // Held, so that every value comes from the same save. Where the key
        // opened once and then cannot, each read gives its default.
        key.Hold(kSettingsKeyPath, RegistryKey::Purpose::Read);
        ReadValues(key, view);
        key.Release();
        return true;
    }
    // An earlier installation's settings are taken over: only read here, as
    // their root may not be ours to write, and saved where they now belong.
    const HKEY earlier = EarlierSettingsRoot();
    if (earlier == nullptr) {
        return false;
    }
    RegistryKey old = SettingsKey(earlier);
    if (old.Hold(kSettingsKeyPath, RegistryKey::Purpose::Read) != ERROR_SUCCESS) {
        return false;
    }
    ReadValues(old, view);
    old.Release();
    return true;
}

}  // namespace

SettingsView::~SettingsView() = default;

std::string KeepStoredInRange(std::uint32_t& value, std::uint32_t most, const char* what, const char* unit)
{
    if (value <= most) {
        return {};
    }
    const std::string text = std::string("the stored ") + what + ' ' + std::to_string(value) + unit +
                             " is out of range (0 to " + std::to_string(most) + unit + "); using " +
                             std::to_string(most) + unit;
    value = most;
    return text;
}

MemorySettings::MemorySettings(Settings initial, std::optional<PortLists> ports)
    : values_(std::move(initial)), ports_(std::move(ports))
{
}

void MemorySettings::SelectMidiIn(const StoredPort& port)
{
    const StoredPort selected = Selected(port, ports_ ? &ports_->in : nullptr);
    values_.midiIn = selected.line;
    values_.midiInName = selected.name;
}

void MemorySettings::SelectMidiOut(const StoredPort& port)
{
    const StoredPort selected = Selected(port, ports_ ? &ports_->out : nullptr);
    values_.midiOut = selected.line;
    values_.midiOutName = selected.name;
}

void LoadSettings(SettingsView& view)
{
    RegistryKey key = SettingsKey();
    if (!ReadStored(view) && key.SetKey(kSettingsKeyPath, true)) {
        key.WriteString("Path", kAbsentPath);
    }
}

bool SaveSettings(const SettingsView& view, std::string* problem)
{
    const auto fail = [&](const std::string& why) {
        if (problem != nullptr) {
            *problem = why;
        }
        return false;
    };
    RegistryKey key = SettingsKey();
    if (const LSTATUS opened = key.Hold(kSettingsKeyPath, RegistryKey::Purpose::Change); opened != ERROR_SUCCESS) {
        return fail(SettingsSaveProblem(opened));
    }
    const StoredPort in = view.SelectedMidiIn();
    const StoredPort out = view.SelectedMidiOut();
    const std::array<bool, 12> stored = {
        key.WriteString("Path", view.CurrentFolder()),
        key.WriteInt("midiin", in.line),
        key.WriteInt("midiout", out.line),
        key.WriteInt("deviceno", static_cast<std::int32_t>(view.DeviceNo())),
        key.WriteInt("delay", static_cast<std::int32_t>(view.SysexDelay())),
        key.WriteInt("mididelay", static_cast<std::int32_t>(view.MidiDelay())),
        key.WriteBool("keepontop", view.KeepOnTop()),
        key.WriteString("midiinname", in.name),
        key.WriteString("midioutname", out.name),
        key.WriteBool("catorder", view.CatOrder()),
        key.WriteBool("showinits", view.ShowInits()),
        key.WriteString("window", view.WindowPlace()),
    };
    if (const LSTATUS written = key.Release(); written != ERROR_SUCCESS) {
        return fail(SettingsSaveProblem(written));
    }
    if (!stored[0] && view.CurrentFolder().size() > RegistryKey::kMaxString) {
        return fail("the current folder was not saved in " + SettingsPlaceName() + ": its path is longer than " +
                    std::to_string(RegistryKey::kMaxString) + " characters");
    }
    if (!std::all_of(stored.begin(), stored.end(), [](bool ok) { return ok; })) {
        return fail("not every setting was saved in " + SettingsPlaceName());
    }
    return true;
}

std::optional<Settings> StoredSettings(const std::optional<PortLists>& ports)
{
    MemorySettings view(Settings{}, ports);
    if (!ReadStored(view)) {
        return std::nullopt;
    }
    return view.Values();
}

Settings StartSettings(const std::optional<PortLists>& ports)
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
        {"midiinname", settings.midiInName},
        {"midioutname", settings.midiOutName},
        {"catorder", settings.catOrder ? "1" : "0"},
        {"showinits", settings.showInits ? "1" : "0"},
        {"window", settings.window},
    };
}
