// The window, offscreen: start to shown, refilling the file list for a folder
// of 10,000 voice files, expanding a folder of 10,000 subfolders, and the
// resident memory after start. Run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QApplication>
#include <QTest>

#include "platform/ui/QtAccess.h"
#include "app/SonderikDlg.h"
#include "browser/FolderListing.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeItems.h"

namespace {

// A machine of the benchmark's own: drive C: is a temporary folder.
class Machine {
public:
    Machine()
        : config_("SONDERIK_CONFIG_DIR", (dir_.Path() / "config").string()),
          drives_("SONDERIK_DRIVES", "C=" + (dir_.Path() / "c").string()),
          mounts_("SONDERIK_MOUNTINFO", (dir_.Path() / "no-mounts").string()),
          previous_(std::filesystem::current_path()),
          drivers_(ScopedMidiDrivers::Drivers{std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})})
    {
        std::filesystem::create_directories(dir_.Path() / "c");
        std::filesystem::current_path(dir_.Path());
    }
    ~Machine() { std::filesystem::current_path(previous_); }
    std::filesystem::path C() const { return dir_.Path() / "c"; }

    // C:\many\ with 10,000 empty voice files, made in no order of their names.
    void ManyVoiceFiles() const
    {
        const std::filesystem::path folder = C() / "many";
        std::filesystem::create_directories(folder);
        for (int i = 0; i < 10000; ++i) {
            std::ofstream(folder / ("voice" + std::to_string((i * 7919) % 10000) + ".s1v"));
        }
    }

    std::unique_ptr<CSonderikDlg> Open()
    {
        auto dialog = std::make_unique<CSonderikDlg>();
        dialog->SetMessageBox([](CDialog*, const std::string&, UINT) { return IDOK; });
        dialog->Create();
        return dialog;
    }
    static void Idle(const CSonderikDlg& dialog)
    {
        if (!QTest::qWaitFor([&] { return !dialog.JobBusy(); }, 10000)) {
            std::abort();
        }
    }

private:
    TempDir dir_;
    ScopedEnv config_;
    ScopedEnv drives_;
    ScopedEnv mounts_;
    std::filesystem::path previous_;
    ScopedMidiDrivers drivers_;
};

// The folder `name` of drive C:, found by expanding the drive as a click would.
HTREEITEM FolderOfC(CTreeCtrl& tree, const std::string& name)
{
    HTREEITEM c = Child(tree, TVI_ROOT, "C:");
    tree.Expand(c, TVE_EXPAND);
    return Child(tree, c, name);
}

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Construction, start-up and the first paint of the dialog.
void StartToShown(benchmark::State& state)
{
    Machine machine;
    for (auto _ : state) {
        auto dialog = machine.Open();
        QApplication::processEvents();
        benchmark::DoNotOptimize(ui::qt::DialogWindowOf(*dialog)->isVisible());
        state.PauseTiming();
        Machine::Idle(*dialog);
        dialog.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = static_cast<double>(ResidentKilobytes()) / 1024.0;
}
BENCHMARK(StartToShown)->Unit(benchmark::kMillisecond);

// Selecting a folder of 10,000 voice files refills the file list.
void RefillFileList(benchmark::State& state)
{
    Machine machine;
    machine.ManyVoiceFiles();
    auto dialog = machine.Open();
    Machine::Idle(*dialog);
    CTreeCtrl& tree = dialog->Tree();
    HTREEITEM c = Child(tree, TVI_ROOT, "C:");
    HTREEITEM many = FolderOfC(tree, "many");
    for (auto _ : state) {
        state.PauseTiming();
        tree.SelectItem(c);
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
    for (auto _ : state) {
        benchmark::DoNotOptimize(browser::FindVoiceFiles("C:\\many\\"));
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
        auto dialog = machine.Open();
        Machine::Idle(*dialog);
        CTreeCtrl& tree = dialog->Tree();
        HTREEITEM wide = FolderOfC(tree, "wide");
        state.ResumeTiming();
        tree.Expand(wide, TVE_EXPAND);
        QApplication::processEvents();
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
