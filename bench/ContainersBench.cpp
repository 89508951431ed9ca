#include <benchmark/benchmark.h>

#include <string>

#include "containers/FatImage.h"
#include "tests/containers/ContainerFixtures.h"

namespace {

// The 1.44 MB floppy the tests read, in memory, as an owner's image file
// would be once read.
const std::string& Floppy()
{
    static const std::string bytes = fixtures::Fixture("floppy-1440.img");
    return bytes;
}

}  // namespace

// What the browser does on opening the image: the root folder's 64 entries
// (spread over several sectors, long names among them), and a folder below.
static void BM_ListFloppyFolder(benchmark::State& state)
{
    const containers::ImageBytes image = containers::BytesOf(Floppy());
    const std::vector<std::string> folder =
        state.range(0) == 0 ? std::vector<std::string>{} : std::vector<std::string>{"EX5", "PADS"};
    for (auto _ : state) {
        const containers::Listing listing = containers::ListFatFolder(image, folder);
        benchmark::DoNotOptimize(listing.entries.data());
    }
    state.SetLabel(state.range(0) == 0 ? "root" : "EX5/PADS");
}
BENCHMARK(BM_ListFloppyFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Reading one voice file out of it: the demo bank (197,760 bytes) and the
// largest kind of voice file (473,004 bytes), two folders down.
static void BM_ReadFloppyFile(benchmark::State& state)
{
    const containers::ImageBytes image = containers::BytesOf(Floppy());
    const std::vector<std::string> file =
        state.range(0) == 0 ? std::vector<std::string>{"DEMO.S1V"}
                            : std::vector<std::string>{"EX5", "PADS", "My Pads.s1a"};
    std::size_t bytes = 0;
    for (auto _ : state) {
        const containers::Contents contents = containers::ReadFatFile(image, file);
        bytes += contents.bytes.size();
        benchmark::DoNotOptimize(contents.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.SetLabel(state.range(0) == 0 ? "DEMO.S1V" : "EX5/PADS/My Pads.s1a");
}
BENCHMARK(BM_ReadFloppyFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
