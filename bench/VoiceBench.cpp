#include <benchmark/benchmark.h>

#include <memory>

#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

// Selecting a file: read the block and fill the list.
static void BM_ReadAndListBank(benchmark::State& state)
{
    TempDir dir;
    DemoBank().Write(dir.File("bank.s1a"), VoiceFileBuilder::Kind::S1a);
    auto image = std::make_unique<BankImage>();
    const bool sorted = state.range(0) != 0;
    for (auto _ : state) {
        ReadVoiceBankFile(dir.File("bank.s1a"), *image);
        MemoryVoiceList list(sorted);
        FillVoiceList(list, *image, true);
        benchmark::DoNotOptimize(list.Count());
    }
}
BENCHMARK(BM_ReadAndListBank)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Double-click to bytes: the line back to its voice, load and assemble.
static void BM_LoadAndAssemble(benchmark::State& state)
{
    const VoiceFileBuilder demo = DemoBank();
    const std::string line = VoiceListLine(demo.Image(), 3);
    for (auto _ : state) {
        EX5Patch patch("AssemblPatch", 0);
        LoadVoice(patch, line, demo.Image());
        benchmark::DoNotOptimize(patch.Assemble());
    }
}
BENCHMARK(BM_LoadAndAssemble)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
