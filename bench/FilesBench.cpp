#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "browser/FolderListing.h"
#include "platform/files/WinFiles.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"

namespace {

// A drive C: with a folder VOICES of 10,000 entries: half voice files of the
// three kinds, half other files.
struct BigFolder {
    FileWorld world;
    ScopedEnv drives{"SONDERIK_DRIVES", "C=" + world.Folder("c").string()};

    BigFolder()
    {
        const std::filesystem::path folder = world.Folder("c/VOICES");
        const char* kinds[] = {".s1v", ".S1A", ".s1y", ".txt", ".wav", ".mid"};
        for (int i = 0; i < 10000; ++i) {
            std::ofstream(folder / ("voice" + std::to_string(i) + kinds[i % 6]));
        }
    }
};

int SearchAll(const char* pattern)
{
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int count = 1;
    while (FindNextFileA(search, &found) != FALSE) {
        ++count;
    }
    FindClose(search);
    return count;
}

}  // namespace

// One search of the folder as the tree's expansion makes it ("*.*": every
// entry is looked at) and as the file list makes it ("*.s1v").
static void BM_SearchTenThousandEntries(benchmark::State& state)
{
    BigFolder big;
    const char* pattern = state.range(0) == 0 ? "C:\\Voices\\*.*" : "C:\\Voices\\*.s1v";
    for (auto _ : state) {
        benchmark::DoNotOptimize(SearchAll(pattern));
    }
    state.SetLabel(pattern);
}
BENCHMARK(BM_SearchTenThousandEntries)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What this machine needs at least to look at every entry: read the folder
// and ask for each entry's status, with nothing else around it.
static void BM_ReadAndStatTenThousandEntries(benchmark::State& state)
{
    BigFolder big;
    const std::string folder = (big.world.Root() / "c" / "VOICES").string();
    for (auto _ : state) {
        DIR* listing = ::opendir(folder.c_str());
        int count = 0;
        while (const dirent* entry = ::readdir(listing)) {
            struct stat status {};
            count += ::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 ? 1 : 0;
        }
        ::closedir(listing);
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_ReadAndStatTenThousandEntries)->Unit(benchmark::kMillisecond);

// Everything a selection of that folder in the tree costs the file list.
static void BM_FileListOfTenThousandEntries(benchmark::State& state)
{
    BigFolder big;
    for (auto _ : state) {
        benchmark::DoNotOptimize(browser::ShownVoiceFiles("C:\\Voices\\"));
    }
}
BENCHMARK(BM_FileListOfTenThousandEntries)->Unit(benchmark::kMillisecond);

// A path of ten components, each in a folder of ten entries, resolved against
// the disk: every name spelled as on disk (Arg 0); the tree's display names
// of names in upper case on disk, VOICES as Voices (Arg 1); names in a case
// that only a listing of each folder can find (Arg 2).
static void BM_TranslateTenComponentPath(benchmark::State& state)
{
    FileWorld world;
    ScopedEnv drives("SONDERIK_DRIVES", "C=" + world.Folder("c").string());
    const auto variant = state.range(0);
    std::string relative = "c";
    std::string windows = "C:";
    for (int level = 0; level < 10; ++level) {
        const std::string onDisk = (variant == 1 ? "FOLDER" : "Folder") + std::to_string(level);
        for (int sibling = 0; sibling < 10; ++sibling) {
            world.Folder(relative + "/" + onDisk + (variant == 1 ? "X" : "x") + std::to_string(sibling));
        }
        relative += "/" + onDisk + (variant == 1 ? "X5" : "x5");
        const char* asked[] = {"Folder", "Folder", "FOLDER"};
        windows += "\\" + std::string(asked[variant]) + std::to_string(level) + (variant == 0 ? "x5" : variant == 1 ? "x5" : "X5");
    }
    if (platform::ResolveWindowsPath(windows) != (world.Root() / relative).string()) {
        state.SkipWithError("the path does not resolve to its folder");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::ResolveWindowsPath(windows));
    }
}
BENCHMARK(BM_TranslateTenComponentPath)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
