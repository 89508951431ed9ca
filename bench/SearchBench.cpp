#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "browser/VoiceSearch.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/VoiceFileBuilder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

// Drive C: with 10,000 voice files of 256 named voices each, 100 to a
// folder. A hundred banks, each linked into every folder under a name of its
// own: what is read is a file in the page cache either way, and the machine
// is spared two gigabytes. Aged, as a collection not touched in the last
// moments is, so that the index keeps what it learns.
struct Collection {
    FileWorld world;
    ScopedEnv drives{"SONDERIK_DRIVES", "C=" + world.Folder("c").string()};
    ScopedEnv cache{"SONDERIK_CACHE_DIR", (world.Root() / "cache").string()};

    Collection()
    {
        const fs::path banks = world.Folder("banks");
        for (int b = 0; b < kFilesPerFolder; ++b) {
            VoiceFileBuilder bank;
            for (int voice = 0; voice < 256; ++voice) {
                char name[16];
                std::snprintf(name, sizeof name, "B%02d V%03d", b, voice);
                bank.Voice(voice, name, static_cast<std::uint8_t>(voice % 23));
            }
            bank.Write((banks / ("bank" + std::to_string(b) + ".s1v")).string(), VoiceFileBuilder::Kind::S1v);
        }
        const auto then = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (int f = 0; f < kFolders; ++f) {
            const fs::path folder = world.Folder("c/Voices/Set" + std::to_string(f));
            for (int i = 0; i < kFilesPerFolder; ++i) {
                fs::create_hard_link(banks / ("bank" + std::to_string((f + i) % kFilesPerFolder) + ".s1v"),
                                     folder / ("F" + std::to_string(i) + ".S1V"));
            }
            fs::last_write_time(folder, then);
        }
        for (const auto& entry : fs::directory_iterator(banks)) {
            fs::last_write_time(entry.path(), then);
        }
        fs::last_write_time(world.Root() / "c" / "Voices", then);
    }

    fs::path IndexFile() const { return world.Root() / "cache" / "voice-index"; }
};

browser::SearchResult Search()
{
    browser::SearchRequest request;
    request.folder = "C:\\Voices\\";
    request.text = "v123";
    return browser::SearchVoices(request);
}

void Report(benchmark::State& state, const browser::SearchResult& result)
{
    state.counters["hits"] = static_cast<double>(result.hits.size());
    state.counters["read"] = static_cast<double>(result.stats.filesRead);
    state.counters["indexed"] = static_cast<double>(result.stats.filesFromIndex);
}

}  // namespace

// The index made by an earlier search: each file's status is asked, no file
// is read and no folder listed.
static void BM_SearchTenThousandFilesIndexed(benchmark::State& state)
{
    Collection collection;
    Search();
    browser::SearchResult result;
    for (auto _ : state) {
        result = Search();
    }
    Report(state, result);
}
BENCHMARK(BM_SearchTenThousandFilesIndexed)->Unit(benchmark::kMillisecond);

// No index yet: every folder listed and every file read (from the page
// cache: the first search is not measured), and the index written.
static void BM_SearchTenThousandFilesNoIndex(benchmark::State& state)
{
    Collection collection;
    Search();
    browser::SearchResult result;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(collection.IndexFile());
        state.ResumeTiming();
        result = Search();
    }
    Report(state, result);
}
BENCHMARK(BM_SearchTenThousandFilesNoIndex)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
