#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Settings.h"
#include "platform/registry/RegistryFile.h"
#include "platform/registry/RegistryHive.h"
#include "tests/support/ConfigFolder.h"

namespace {

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

// A root that other programs filled: `keys` keys of one value each, beside
// the settings key holding `values` values.
std::string CrowdedRoot(int keys, int values)
{
    RegistryHive hive;
    char name[64];
    for (int i = 0; i < keys; ++i) {
        std::snprintf(name, sizeof name, "Software\\Vendor%02d\\Key%05d", i % 50, i);
        hive.CreateKey(name);
        RegistryHive::SetValue(*hive.FindKey(name), "v", REG_DWORD, {1, 0, 0, 0});
    }
    hive.CreateKey(kSettingsKeyPath);
    RegistryKeyNode& settings = *hive.FindKey(kSettingsKeyPath);
    RegistryHive::SetValue(settings, "Path", REG_SZ, {'C', ':', '\\', 0});
    for (int i = 0; i < values; ++i) {
        std::snprintf(name, sizeof name, "value%05d", i);
        RegistryHive::SetValue(settings, name, REG_BINARY, {1, 2, 3, 4});
    }
    return hive.Format(kRoot);
}

class CrowdedConfig {
public:
    CrowdedConfig(int keys, int values)
    {
        ConfigFolder::Put(config_.RootFile(kRoot), CrowdedRoot(keys, values));
    }
    HiveFile File() const { return HiveFile(config_.Path(), kRoot); }
    std::size_t Bytes() const { return ConfigFolder::Contents(config_.RootFile(kRoot)).size(); }

private:
    ConfigFolder config_;
};

// Reading a root's file from disk into its keys.
void BM_ReadRoot(benchmark::State& state)
{
    const CrowdedConfig config(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const HiveFile file = config.File();
    for (auto _ : state) {
        RegistryHive hive;
        if (file.Read(hive) != ERROR_SUCCESS || hive.FindKey(kSettingsKeyPath) == nullptr) {
            state.SkipWithError("the root did not read back");
        }
        benchmark::DoNotOptimize(hive);
    }
    state.counters["file_bytes"] = static_cast<double>(config.Bytes());
}
BENCHMARK(BM_ReadRoot)->ArgNames({"keys", "values"})->Args({20000, 0})->Args({0, 5000})->Unit(benchmark::kMillisecond);

// One change: read under the lock, change one value, write the whole file.
void BM_ChangeOneValue(benchmark::State& state)
{
    const CrowdedConfig config(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const HiveFile file = config.File();
    BYTE counter = 0;
    for (auto _ : state) {
        const LSTATUS status = file.Update(
            [&](RegistryHive& hive, bool& changed) {
                changed = RegistryHive::SetValue(*hive.FindKey(kSettingsKeyPath), "delay", REG_BINARY,
                                                 {++counter, 0, 0, 0});
                return ERROR_SUCCESS;
            },
            "delay");
        if (status != ERROR_SUCCESS) {
            state.SkipWithError("the change was not written");
        }
    }
}
BENCHMARK(BM_ChangeOneValue)->ArgNames({"keys", "values"})->Args({20000, 0})->Args({0, 5000})->Unit(benchmark::kMillisecond);

// What every command of the command line does first: the seven settings.
void BM_StartSettings(benchmark::State& state)
{
    const CrowdedConfig config(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(StartSettings());
    }
}
BENCHMARK(BM_StartSettings)->ArgNames({"keys", "values"})->Args({20000, 0})->Args({0, 5000})->Unit(benchmark::kMillisecond);

// A writer meeting a lock another process holds, waiting `wait_ms` before it
// gives up: how long past its wait it returns. That it gives up is a test's
// (registry.HiveFileTest).
void BM_GiveUpAtAHeldLock(benchmark::State& state)
{
    const ConfigFolder config;
    std::filesystem::create_directories(config.Path());
    const int fd = ::open((config.Path() / (std::string(kRoot) + ".lock")).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        state.SkipWithError("the lock could not be held");
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    const HiveFile file(config.Path(), kRoot, std::chrono::milliseconds(state.range(0)));
    for (auto _ : state) {
        const LSTATUS status = file.Update(
            [](RegistryHive&, bool& changed) {
                changed = true;
                return ERROR_SUCCESS;
            },
            "v");
        if (status != ERROR_TIMEOUT) {
            state.SkipWithError("the writer did not give up");
            break;
        }
    }
    ::close(fd);
}
BENCHMARK(BM_GiveUpAtAHeldLock)->ArgName("wait_ms")->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
