#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/PortChoice.h"

// The values kept between runs, as the dialog holds them: the seven of the
// settings key, and the names of the two ports beside their lines. The
// initial values are the dialog's own, which it keeps when nothing was
// stored yet.
struct Settings {
    std::string path;              // "Path": the current folder; empty for none
    std::int32_t midiIn = -1;      // "midiin": line of the MIDI In list; -1 for none
    std::int32_t midiOut = -1;     // "midiout": line of the MIDI Out list; -1 for none
    std::uint32_t sysexDelay = 0;  // "delay", milliseconds
    std::uint32_t midiDelay = 0;   // "mididelay", milliseconds
    std::uint32_t deviceNo = 1;    // "deviceno"
    bool keepOnTop = false;        // "keepontop": "On top?" checked
    std::string midiInName;        // "midiinname": the name the MIDI In line showed; empty for none
    std::string midiOutName;       // "midioutname": the same for MIDI Out
    bool catOrder = false;         // "catorder": "Cat Order" checked
    bool showInits = false;        // "showinits": "Show Inits" checked
    std::string window;            // "window": "x,y,width,height" of the window; empty for none

    bool operator==(const Settings&) const = default;
};

// The registry key that holds them, under the root SettingsPlace.h names.
inline constexpr const char* kSettingsKeyPath = "Software\\Sonderik\\Settings";

// What a job may be given, whoever starts it: a device number goes into a
// SysEx message, where 128 and up would be a status byte, and a delay past
// ten seconds is a typo that would keep a job (or an audition) waiting.
inline constexpr std::uint32_t kMaxDeviceNumber = 127;
inline constexpr std::uint32_t kMaxDelay = 10000;

// A stored value brought into 0 to `most`: the sentence that says so
// ("the stored SysEx delay 60000 ms is out of range (0 to 10000 ms); using
// 10000 ms"), or empty when it was in range.
std::string KeepStoredInRange(std::uint32_t& value, std::uint32_t most, const char* what, const char* unit);

// What the settings feed at start-up and are taken from at close. The dialog
// implements it over its port lists, held values and "On top?"; the command
// line and the tests use MemorySettings.
class SettingsView {
public:
    virtual ~SettingsView();

    virtual std::string CurrentFolder() const = 0;
    virtual void SetCurrentFolder(const std::string& path) = 0;
    // Selects the line that the stored port stands for, by ChoosePort
    // (PortChoice.h) over the names the list shows: by name when one was
    // stored, else by line; none when the list has no such port.
    virtual void SelectMidiIn(const StoredPort& port) = 0;
    // The selected line and the name it shows; {-1, ""} when none.
    virtual StoredPort SelectedMidiIn() const = 0;
    virtual void SelectMidiOut(const StoredPort& port) = 0;
    virtual StoredPort SelectedMidiOut() const = 0;
    virtual void SetSysexDelay(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t SysexDelay() const = 0;
    virtual void SetMidiDelay(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t MidiDelay() const = 0;
    virtual void SetDeviceNo(std::uint32_t number) = 0;
    virtual std::uint32_t DeviceNo() const = 0;
    virtual void SetKeepOnTop(bool onTop) = 0;
    virtual bool KeepOnTop() const = 0;
    virtual void SetListOrder(bool catOrder, bool showInits) = 0;
    virtual bool CatOrder() const = 0;
    virtual bool ShowInits() const = 0;
    // The window's place and size as "x,y,width,height"; empty for none.
    virtual void SetWindowPlace(const std::string& place) = 0;
    virtual std::string WindowPlace() const = 0;
};

// The names the two port lists show, line by line.
struct PortLists {
    std::vector<std::string> in;
    std::vector<std::string> out;
};

// Settings held in memory. Without port lists a stored port is kept as it
// is stored, line and name, as there is nothing to hold it against.
class MemorySettings : public SettingsView {
public:
    explicit MemorySettings(Settings initial = {}, std::optional<PortLists> ports = std::nullopt);

    std::string CurrentFolder() const override { return values_.path; }
    void SetCurrentFolder(const std::string& path) override { values_.path = path; }
    void SelectMidiIn(const StoredPort& port) override;
    StoredPort SelectedMidiIn() const override { return {values_.midiIn, values_.midiInName}; }
    void SelectMidiOut(const StoredPort& port) override;
    StoredPort SelectedMidiOut() const override { return {values_.midiOut, values_.midiOutName}; }
    void SetSysexDelay(std::uint32_t milliseconds) override { values_.sysexDelay = milliseconds; }
    std::uint32_t SysexDelay() const override { return values_.sysexDelay; }
    void SetMidiDelay(std::uint32_t milliseconds) override { values_.midiDelay = milliseconds; }
    std::uint32_t MidiDelay() const override { return values_.midiDelay; }
    void SetDeviceNo(std::uint32_t number) override { values_.deviceNo = number; }
    std::uint32_t DeviceNo() const override { return values_.deviceNo; }
    void SetKeepOnTop(bool onTop) override { values_.keepOnTop = onTop; }
    bool KeepOnTop() const override { return values_.keepOnTop; }
    void SetListOrder(bool catOrder, bool showInits) override
    {
        values_.catOrder = catOrder;
        values_.showInits = showInits;
    }
    bool CatOrder() const override { return values_.catOrder; }
    bool ShowInits() const override { return values_.showInits; }
    void SetWindowPlace(const std::string& place) override { values_.window = place; }
    std::string WindowPlace() const override { return values_.window; }

    const Settings& Values() const { return values_; }

private:
    Settings values_;
    std::optional<PortLists> ports_;
};

// Start-up: fills the view from the settings key. When there is no key yet
// the view keeps what it holds, and the key is made holding only "Path" =
// "C:\", so that the next start finds the key with its other values absent.
void LoadSettings(SettingsView& view);

// Close: stores what the view holds, all of it as one change of the store,
// so that a reader (another window starting, the command line) sees the
// whole save or none of it. True when every value was stored; else
// `problem`, when given, names the settings file and why ("cannot save the
// settings in FILE: Permission denied"). A folder path longer than 254
// characters is not stored, and the previous one stays.
bool SaveSettings(const SettingsView& view, std::string* problem = nullptr);

// What the window would start with, for tools that run without it: the
// start-up load, except that a first run writes nothing.
Settings StartSettings(const std::optional<PortLists>& ports = std::nullopt);

// The stored settings as StartSettings reads them, or nothing when no
// settings key has been made yet.
std::optional<Settings> StoredSettings(const std::optional<PortLists>& ports = std::nullopt);

// The settings as value name and text: the seven in the order of the key's
// table, then "midiinname" and "midioutname", then "catorder", "showinits"
// and "window".
std::vector<std::pair<std::string, std::string>> SettingsAsText(const Settings& settings);
