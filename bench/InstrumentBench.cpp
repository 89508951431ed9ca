#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "instrument/Jobs.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/TempDir.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

// The jobs write their log in the current folder: give them one of their own.
class Workspace {
public:
    Workspace()
        : previous_(std::filesystem::current_path()),
          drivers_(ScopedMidiDrivers::Drivers{std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})})
    {
        std::filesystem::current_path(dir_.Path());
    }
    ~Workspace() { std::filesystem::current_path(previous_); }

private:
    TempDir dir_;
    std::filesystem::path previous_;
    ScopedMidiDrivers drivers_;
};

JobSettings ZeroDelays()
{
    JobSettings settings;
    settings.midiInPort = 0;
    settings.midiOutPort = 0;
    settings.sysexDelay = 0;
    settings.midiDelay = 0;
    return settings;
}

}  // namespace

// A whole identification job against the virtual instrument, log included.
static void BM_IdentifyJob(benchmark::State& state)
{
    Workspace workspace;
    auto params = std::make_unique<EXParams>();
    for (auto _ : state) {
        params->PrepareIdentify(nullptr, ZeroDelays(), "1.0.3");
        IdentifyJob(params.get());
        benchmark::DoNotOptimize(params->identResult[0]);
    }
    if (std::string(params->identResult) != "EX5") {
        state.SkipWithError("the virtual instrument was not identified");
    }
}
BENCHMARK(BM_IdentifyJob)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole send job with no MIDI delay: its cost beyond that delay.
static void BM_SendVoiceJob(benchmark::State& state)
{
    Workspace workspace;
    const VoiceFileBuilder demo = DemoBank();
    const std::string line = VoiceListLine(demo.Image(), 3);
    auto params = std::make_unique<EXParams>();
    JobSettings settings = ZeroDelays();
    settings.sysexDelay = 1;  // the close polls this often while the voice is on its way
    for (auto _ : state) {
        auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
        LoadVoice(*patch, line, demo.Image());
        params->PrepareSendVoice(patch.release(), nullptr, nullptr, settings, "1.0.3");
        SendVoiceJob(params.get());
    }
    if (params->errorText[0] != '\0') {
        state.SkipWithError(params->errorText);
    }
}
BENCHMARK(BM_SendVoiceJob)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
