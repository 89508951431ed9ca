#pragma once

// What the main dialog's tests stand on, on either system: settings of the
// test's own, a folder of voice files the browser can reach, the current
// folder for the log, a virtual instrument, and the dialog opened on them.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app/SonderikDlg.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TempDir.h"
#include "tests/support/UiDriver.h"
#include "tests/support/VoiceFileBuilder.h"

namespace dialog_bench {

using Dlg = CSonderikDlg;

// Off Windows the settings are files in SONDERIK_CONFIG_DIR and the test's
// folder is a drive C: of its own; on Windows the settings are the system's
// registry (the program's keys removed before and after: the CTest entry
// holds the registry lock) and the folder is a temporary one on the
// system's own drives, named by its Windows path.
class Bench {
public:
    explicit Bench(const virtual_ex5::Config& instrument = {})
        :
#ifndef _WIN32
          drives_("SONDERIK_DRIVES", "C=" + temp_.Path().string()),
#endif
          old_(std::filesystem::current_path()), ex5_(std::make_shared<VirtualEX5Driver>(instrument)), drivers_({ex5_})
    {
        std::filesystem::current_path(temp_.Path());
        std::filesystem::create_directories(Voices());
    }
    ~Bench() { std::filesystem::current_path(old_); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // Other drivers until the bench goes (a device plugged in, the ports gone).
    void Install(ScopedMidiDrivers::Drivers drivers) const { drivers_.Install(std::move(drivers)); }
    std::filesystem::path Root() const { return temp_.Path(); }
    std::filesystem::path Voices() const { return temp_.Path() / "voices"; }
    const ConfigFolder& Config() const { return config_; }
    // The test's folder as the browser names it.
    std::string RootFolder() const
    {
#ifdef _WIN32
        return temp_.Path().string() + "\\";
#else
        return "C:\\";
#endif
    }
    // The voices' folder as the browser names it.
    std::string Folder() const { return RootFolder() + "voices\\"; }
    virtual_ex5::Received Received() const { return ex5_->Instrument().GetReceived(); }
    std::shared_ptr<VirtualEX5Driver> Driver() const { return ex5_; }
    void Clear() { ex5_->Instrument().Clear(); }
    std::string Log() const { return Contents(temp_.Path() / "Sonderik.log"); }
    // Settings as a previous run left them: the virtual instrument's ports.
    void Store(const std::string& path, std::uint32_t deviceNo = 1, std::uint32_t midiDelay = 0)
    {
        Settings values = Stored(path);
        values.midiDelay = midiDelay;
        values.deviceNo = deviceNo;
        Store(values);
    }
    static Settings Stored(const std::string& path)
    {
        Settings values;
        values.path = path;
        values.midiIn = 0;
        values.midiOut = 0;
        values.sysexDelay = 0;
        values.midiDelay = 0;
        return values;
    }
    static void Store(const Settings& values)
    {
        MemorySettings view(values);
        SaveSettings(view);
    }
    static std::string Contents(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    ConfigFolder config_;
    TempDir temp_;
#ifndef _WIN32
    ScopedEnv drives_;
#endif
    std::filesystem::path old_;
    std::shared_ptr<VirtualEX5Driver> ex5_;
    ScopedMidiDrivers drivers_;
};

// The message boxes the dialog showed, each with " (!)" for an exclamation mark.
struct Boxes {
    std::vector<std::string> shown;
};

inline std::unique_ptr<Dlg> Open(Boxes& boxes, const std::function<void(Dlg&)>& before = {})
{
    auto dialog = std::make_unique<Dlg>();
    if (before) {
        before(*dialog);
    }
    dialog->SetMessageBox([&boxes](CDialog*, const std::string& text, UINT type) {
        boxes.shown.push_back(text + ((type & MB_ICONEXCLAMATION) != 0 ? " (!)" : ""));
        return IDOK;
    });
    dialog->Create();
    return dialog;
}

// The job that runs has ended, thread and all.
inline bool Idle(const Dlg& dialog)
{
    return uitest::PumpUntil([&] { return !dialog.JobBusy(); });
}

inline bool Enabled(const Dlg& dialog, int id) { return dialog.GetDlgItem(id)->IsWindowEnabled(); }

inline void Click(const Dlg& dialog, int id) { uitest::Click(*dialog.GetDlgItem(id)); }

inline CComboBox& Combo(const Dlg& dialog, int id) { return *static_cast<CComboBox*>(dialog.GetDlgItem(id)); }

inline void CloseUp(const Dlg& dialog, int id) { uitest::CloseUp(Combo(dialog, id)); }

// Enter pressed in a number field, where it is the dialog's OK command.
inline void PressEnterIn(const Dlg& dialog, int id) { uitest::PressKey(*dialog.GetDlgItem(id), uitest::Key::Enter); }

inline int LineOf(const CListBox& list, const std::string& prefix)
{
    for (int i = 0; i < list.GetCount(); ++i) {
        if (list.GetText(i).rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return -1;
}

// Puts a file into the file list and selects it as the user does.
inline void SelectFile(Dlg& dialog, const std::string& name)
{
    CListBox& files = dialog.FileList();
    if (files.FindStringExact(-1, name) < 0) {
        files.AddString(name);
    }
    uitest::ClickLine(files, files.FindStringExact(-1, name));
}

inline VoiceFileBuilder Bank()
{
    VoiceFileBuilder bank;
    bank.Voice(0, "Zeta Pad", 15).Element(0, 0, 1);
    bank.Voice(1, "Glass Grand", 13).Element(1, 0, 2);
    bank.Element(1, 1, 3);
    bank.Voice(2, "Init Voice", 0).Element(2, 0, 4);
    bank.Voice(3, "Big Kit", 17).Element(3, 0, 5);
    bank.Voice(200, "Alpha Bass", 0).Element(200, 0, 6);
    return bank;
}

// The dialog on the settings a previous run left, its start-up job done and
// the bank `name` (Bank()) selected; null when the job never reported back.
inline std::unique_ptr<Dlg> OpenOnBank(Bench& bench, Boxes& boxes, const std::string& name = "bank.s1v",
                                       VoiceFileBuilder::Kind kind = VoiceFileBuilder::Kind::S1v)
{
    Bank().Write((bench.Voices() / name).string(), kind);
    bench.Store(bench.Folder());
    auto dialog = Open(boxes);
    if (!Idle(*dialog)) {
        return nullptr;
    }
    SelectFile(*dialog, name);
    return dialog;
}

// The same after a voice of it was sent, which makes the audition buttons
// available.
inline std::unique_ptr<Dlg> OpenAfterASend(Bench& bench, Boxes& boxes)
{
    auto dialog = OpenOnBank(bench, boxes);
    if (!dialog) {
        return nullptr;
    }
    uitest::DoubleClickLine(dialog->VoiceList(), 1);
    return Idle(*dialog) ? std::move(dialog) : nullptr;
}

}  // namespace dialog_bench
