// The window over either window system: start to shown, refilling the file
// list for a folder of 10,000 voice files, the search behind that refill,
// and expanding a folder of 10,000 subfolders; with the resident memory
// after start. Off Windows it runs offscreen unless QT_QPA_PLATFORM says
// otherwise; on Windows it needs a display (under wine: Xvfb).
#ifdef SONDERIK_SMALL_BENCHMARK
#include "bench/SmallBenchmark.h"
#else
#include <benchmark/benchmark.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/SonderikDlg.h"
#include "browser/FolderListing.h"
#include "platform/midi/MidiDriver.h"
#include "platform/ui/WindowSystem.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeItems.h"
#include "tests/support/TreePath.h"
#include "tests/support/UiDriver.h"
#ifdef _WIN32
#include <psapi.h>  // after the system's headers, which platform/WinTypes.h brings
#endif

namespace {

// A machine of the benchmark's own: settings of its own, and a folder "c"
// that the browser reaches as Base() (off Windows, drive C: itself).
class Machine {
public:
    Machine()
        :
#ifndef _WIN32
          drives_("SONDERIK_DRIVES", "C=" + (dir_.Path() / "c").string()),
          mounts_("SONDERIK_MOUNTINFO", (dir_.Path() / "no-mounts").string()),
#endif
          previous_(std::filesystem::current_path()),
          drivers_(ScopedMidiDrivers::Drivers{std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})})
    {
        std::filesystem::create_directories(C());
        std::filesystem::current_path(dir_.Path());
    }
    ~Machine() { std::filesystem::current_path(previous_); }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    std::filesystem::path C() const { return dir_.Path() / "c"; }
    std::string Base() const
    {
#ifdef _WIN32
        return C().string() + "\\";
#else
        return "C:\\";
#endif
    }

    // Base()many\ with 10,000 empty voice files, made in no order of their names.
    void ManyVoiceFiles() const
    {
        const std::filesystem::path folder = C() / "many";
        std::filesystem::create_directories(folder);
        for (int i = 0; i < 10000; ++i) {
            std::ofstream(folder / ("voice" + std::to_string((i * 7919) % 10000) + ".s1v"));
        }
    }

    static std::unique_ptr<CSonderikDlg> Open()
    {
        auto dialog = std::make_unique<CSonderikDlg>();
        dialog->SetMessageBox([](CDialog*, const std::string&, UINT) { return IDOK; });
        dialog->Create();
        return dialog;
    }
    static void Idle(const CSonderikDlg& dialog)
    {
        if (!uitest::PumpUntil([&] { return !dialog.JobBusy(); })) {
            std::abort();
        }
    }

private:
    ConfigFolder config_;
    TempDir dir_;
#ifndef _WIN32
    ScopedEnv drives_;
    ScopedEnv mounts_;
#endif
    std::filesystem::path previous_;
    ScopedMidiDrivers drivers_;
};

double ResidentMegabytes()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory) == FALSE) {
        return -1;
    }
    return static_cast<double>(memory.WorkingSetSize) / (1024.0 * 1024.0);
#else
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return static_cast<double>(std::stol(line.substr(6))) / 1024.0;
        }
    }
    return -1;
#endif
}

// Construction, start-up and the first paint of the dialog.
void StartToShown(benchmark::State& state)
{
    Machine machine;
    for (auto _ : state) {
        auto dialog = Machine::Open();
        uitest::Pump();
        benchmark::DoNotOptimize(dialog->IsWindowVisible());
        state.PauseTiming();
        Machine::Idle(*dialog);
        dialog.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = ResidentMegabytes();
}
BENCHMARK(StartToShown)->Unit(benchmark::kMillisecond);

// Selecting a folder of 10,000 voice files refills the file list.
void RefillFileList(benchmark::State& state)
{
    Machine machine;
    machine.ManyVoiceFiles();
    auto dialog = Machine::Open();
    Machine::Idle(*dialog);
    CTreeCtrl& tree = dialog->Tree();
    HTREEITEM base = ItemOfPath(tree, machine.Base());
    HTREEITEM many = ItemOfPath(tree, machine.Base() + "many\\");
    if (base == nullptr || many == nullptr) {
        state.SkipWithError("the folder is not in the tree");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        tree.SelectItem(base);
        state.ResumeTiming();
        tree.SelectItem(many);
    }
    if (dialog->FileList().GetCount() != 10000) {
        state.SkipWithError("the list does not hold the 10,000 files");
    }
}
BENCHMARK(RefillFileList)->Unit(benchmark::kMillisecond);

// What the refill costs outside the list: the three searches of the folder.
void SearchVoiceFiles(benchmark::State& state)
{
    Machine machine;
    machine.ManyVoiceFiles();
    const std::string folder = machine.Base() + "many\\";
    for (auto _ : state) {
        benchmark::DoNotOptimize(browser::FindVoiceFiles(folder));
    }
}
BENCHMARK(SearchVoiceFiles)->Unit(benchmark::kMillisecond);

// The first expansion of a folder of 10,000 subfolders.
void ExpandFolder(benchmark::State& state)
{
    Machine machine;
    const std::filesystem::path folder = machine.C() / "wide";
    for (int i = 0; i < 10000; ++i) {
        std::filesystem::create_directories(folder / ("bank" + std::to_string((i * 7919) % 10000)));
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto dialog = Machine::Open();
        Machine::Idle(*dialog);
        CTreeCtrl& tree = dialog->Tree();
        HTREEITEM wide = ItemOfPath(tree, machine.Base() + "wide\\");
        if (wide == nullptr) {
            state.SkipWithError("the folder is not in the tree");
            return;
        }
        state.ResumeTiming();
        tree.Expand(wide, TVE_EXPAND);
        uitest::Pump();
        state.PauseTiming();
        if (Child(tree, wide, "bank9999") == nullptr) {
            state.SkipWithError("the folder's children are missing");
        }
        dialog.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ExpandFolder)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
#ifndef _WIN32
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
#endif
    benchmark::Initialize(&argc, argv);
    std::vector<std::string> arguments(argv, argv + argc);
    const ui::WindowSystem windows(arguments, "Sonderik", "0");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
