// What a user waits for: a whole identify process against the built-in
// instrument, and, with the program's JACK client already open, an
// identification and a voice sent over JACK to an outside client.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/midi/JackMidiDriver.h"
#include "tests/support/CliRun.h"
#include "tests/support/JackPeer.h"
#include "tests/support/JackServer.h"
#include "tests/support/PortIndex.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

// Runs sonderik-cli with `args` in `folder`, with its settings there too and
// no JACK server within reach; the exit status.
int RunProcess(const std::vector<std::string>& args, const std::filesystem::path& folder)
{
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0 || freopen("/dev/null", "w", stdout) == nullptr) {
            _exit(126);
        }
        setenv("SONDERIK_CONFIG_DIR", (folder / "config").c_str(), 1);
        setenv("JACK_DEFAULT_SERVER", "sonderik-bench-no-server", 1);
        std::vector<char*> argv;
        static char program[] = SONDERIK_CLI;
        argv.push_back(program);
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execve(SONDERIK_CLI, argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_IdentifyProcessBuiltIn(benchmark::State& state)
{
    const TempDir dir;
    for (auto _ : state) {
        if (RunProcess({"identify", "--sysex-delay", "0"}, dir.Path()) != 0) {
            state.SkipWithError("identify failed");
            break;
        }
    }
}
BENCHMARK(BM_IdentifyProcessBuiltIn)->Unit(benchmark::kMillisecond)->UseRealTime();

// The command line in this process over JACK, the client kept open between
// runs, as the window keeps it.
class JackWorkspace {
public:
    JackWorkspace() : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir_.Path());
        setenv("SONDERIK_CONFIG_DIR", (dir_.Path() / "config").c_str(), 1);
        midi_ = [this] {
            drivers_.Install({jack_});
            return nullptr;
        };
        midi_();
        ports_ = {"--in", std::to_string(InPortIndex(peer_.OutName())), "--out",
                  std::to_string(OutPortIndex(peer_.InName()))};
    }
    ~JackWorkspace() { std::filesystem::current_path(previous_); }
    JackWorkspace(const JackWorkspace&) = delete;
    JackWorkspace& operator=(const JackWorkspace&) = delete;

    bool Ready() const { return peer_.Ready(); }

    int Run(std::vector<std::string> args)
    {
        args.insert(args.end(), ports_.begin(), ports_.end());
        return Cli(args, midi_).status;
    }

private:
    TempDir dir_;
    std::filesystem::path previous_;
    JackPeer peer_{"sonderik-bench-peer"};
    std::shared_ptr<JackMidiDriver> jack_ = std::make_shared<JackMidiDriver>();
    MidiSetup midi_;
    std::vector<std::string> ports_;
    ScopedMidiDrivers drivers_;
};

void BM_JackIdentify(benchmark::State& state)
{
    if (!JackServerRunning()) {
        state.SkipWithError("no JACK server is running");
        return;
    }
    JackWorkspace workspace;
    for (auto _ : state) {
        if (workspace.Run({"identify", "--sysex-delay", "0"}) != 0) {
            state.SkipWithError("identify failed");
            break;
        }
    }
}
BENCHMARK(BM_JackIdentify)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JackSendVoice(benchmark::State& state)
{
    if (!JackServerRunning()) {
        state.SkipWithError("no JACK server is running");
        return;
    }
    JackWorkspace workspace;
    for (auto _ : state) {
        if (workspace.Run({"send", SONDERIK_DEMO_FILE, "I1-002", "--sysex-delay", "0", "--midi-delay", "0"}) != 0) {
            state.SkipWithError("send failed");
            break;
        }
    }
}
BENCHMARK(BM_JackSendVoice)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
