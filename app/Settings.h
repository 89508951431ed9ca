#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The seven values kept between runs, as the dialog holds them. The initial
// values are the dialog's own, which it keeps when nothing was stored yet.
struct Settings {
    std::string path;              // "Path": the current folder; empty for none
    std::int32_t midiIn = -1;      // "midiin": line of the MIDI In list; -1 for none
    std::int32_t midiOut = -1;     // "midiout": line of the MIDI Out list; -1 for none
    std::uint32_t sysexDelay = 0;  // "delay", milliseconds
    std::uint32_t midiDelay = 0;   // "mididelay", milliseconds
    std::uint32_t deviceNo = 1;    // "deviceno"
    bool keepOnTop = false;        // "keepontop": "On top?" checked

    bool operator==(const Settings&) const = default;
};

// The registry key under HKEY_LOCAL_MACHINE that holds them.
inline constexpr const char* kSettingsKeyPath = "Software\\Sonderik\\Settings";

// What the settings feed at start-up and are taken from at close. The dialog
// implements it over its port lists, held values and "On top?"; the command
// line and the tests use MemorySettings.
class SettingsView {
public:
    virtual ~SettingsView();

    virtual std::string CurrentFolder() const = 0;
    virtual void SetCurrentFolder(const std::string& path) = 0;
    // Selecting a line the list does not have leaves it without a selection.
    virtual void SelectMidiIn(std::int32_t line) = 0;
    virtual std::int32_t SelectedMidiIn() const = 0;  // -1 when none
    virtual void SelectMidiOut(std::int32_t line) = 0;
    virtual std::int32_t SelectedMidiOut() const = 0;
    virtual void SetSysexDelay(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t SysexDelay() const = 0;
    virtual void SetMidiDelay(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t MidiDelay() const = 0;
    virtual void SetDeviceNo(std::uint32_t number) = 0;
    virtual std::uint32_t DeviceNo() const = 0;
    virtual void SetKeepOnTop(bool onTop) = 0;
    virtual bool KeepOnTop() const = 0;
};

// How many lines the two port lists have.
struct PortCounts {
    int in = 0;
    int out = 0;
};

// Settings held in memory. Without port counts any line from 0 up can be
// selected, as the stored index is all there is to go by.
class MemorySettings : public SettingsView {
public:
    explicit MemorySettings(Settings initial = {}, std::optional<PortCounts> ports = std::nullopt);

    std::string CurrentFolder() const override { return values_.path; }
    void SetCurrentFolder(const std::string& path) override { values_.path = path; }
    void SelectMidiIn(std::int32_t line) override;
    std::int32_t SelectedMidiIn() const override { return values_.midiIn; }
    void SelectMidiOut(std::int32_t line) override;
    std::int32_t SelectedMidiOut() const override { return values_.midiOut; }
    void SetSysexDelay(std::uint32_t milliseconds) override { values_.sysexDelay = milliseconds; }
    std::uint32_t SysexDelay() const override { return values_.sysexDelay; }
    void SetMidiDelay(std::uint32_t milliseconds) override { values_.midiDelay = milliseconds; }
    std::uint32_t MidiDelay() const override { return values_.midiDelay; }
    void SetDeviceNo(std::uint32_t number) override { values_.deviceNo = number; }
    std::uint32_t DeviceNo() const override { return values_.deviceNo; }
    void SetKeepOnTop(bool onTop) override { values_.keepOnTop = onTop; }
    bool KeepOnTop() const override { return values_.keepOnTop; }

    const Settings& Values() const { return values_; }

private:
    Settings values_;
    std::optional<PortCounts> ports_;
};

// Start-up: fills the view from the settings key. When there is no key yet
// the view keeps what it holds, and the key is made holding only "Path" =
// "C:\", so that the next start finds the key with its other values absent.
void LoadSettings(SettingsView& view);

// Close: stores what the view holds. True when every value was stored; the
// dialog has no use for it, as a failed save is never shown. A folder path
// longer than 254 characters is not stored, and the previous one stays.
bool SaveSettings(const SettingsView& view);

// What the window would start with, for tools that run without it: the
// start-up load, except that a first run writes nothing.
Settings StartSettings(std::optional<PortCounts> ports = std::nullopt);

// The stored settings as StartSettings reads them, or nothing when no
// settings key has been made yet.
std::optional<Settings> StoredSettings(std::optional<PortCounts> ports = std::nullopt);

// The seven settings as value name and text, in the order of the key's table.
std::vector<std::pair<std::string, std::string>> SettingsAsText(const Settings& settings);
