// Long use in one process: thousands of jobs against the built-in instrument,
// identifications and sends taking turns with no delays, run as the window
// runs them (a worker thread each, "Done" taken on this thread). Prints the
// resident memory, the open file descriptors and the threads at the start and
// every so many jobs, and fails when a job fails or any of them has grown.
//
//   soak [JOBS] [EVERY]      (10000 and 1000 by default)

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "instrument/Jobs.h"
#include "platform/midi/MidiDriver.h"
#include "platform/threads/Window.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/TempDir.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/EXParams.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

using namespace std::chrono_literals;

struct Figures {
    long rssKiB = 0;
    int fds = 0;
    int threads = 0;
};

long StatusField(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == name) {
            long value = 0;
            status >> value;
            return value;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

int OpenFds()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(dir);
    return count - 1;  // the directory being read
}

Figures Measure()
{
    return Figures{StatusField("VmRSS:"), OpenFds(), static_cast<int>(StatusField("Threads:"))};
}

void Print(long jobs, const Figures& f)
{
    std::printf("%6ld jobs: resident %6ld KiB, open files %3d, threads %2d\n", jobs, f.rssKiB, f.fds, f.threads);
    std::fflush(stdout);
}

// No pause anywhere but the poll for a sent voice's buffer: it polls four
// times `sysexDelay` apart, so at 0 ms (or 5 ms on a busy machine) it may
// give up while the voice is still on its way. Sends use the built-in SysEx
// delay, 25 ms, which costs nothing when the voice is already out.
JobSettings Delays(std::uint32_t sysexDelay)
{
    JobSettings settings;
    settings.midiInPort = 0;
    settings.midiOutPort = 0;
    settings.sysexDelay = sysexDelay;
    settings.midiDelay = 0;
    return settings;
}

// Runs one job as the window does; false when its "Done" did not come.
bool RunJob(JobRunner& runner, JobRunner::Job job, EXParams& params, const std::function<void(HWND)>& fill)
{
    TextField done;
    if (!runner.Start(job, params, [&] { fill(&done); })) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (done.Text().empty() && std::chrono::steady_clock::now() < deadline) {
        done.Pump(50ms);
    }
    return runner.Wait(30s) && done.Text() == "Done";
}

}  // namespace

int main(int argc, char** argv)
{
    const long jobs = argc > 1 ? std::atol(argv[1]) : 10000;
    const long every = argc > 2 ? std::atol(argv[2]) : 1000;
    if (jobs <= 0 || every <= 0) {
        std::fprintf(stderr, "usage: soak [JOBS] [EVERY]\n");
        return 2;
    }

    // The jobs write their log in the current folder: give them one of their own.
    const TempDir dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    auto driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const ScopedMidiDrivers drivers({driver});

    // Every voice of the demo bank that can be sent, in turn.
    const VoiceFileBuilder demo = DemoBank();
    std::vector<std::string> lines;
    MemoryVoiceList list;
    FillVoiceList(list, demo.Image(), true);
    for (const std::string& line : list.Lines()) {
        EX5Patch probe("AssemblPatch", 0);
        if (!IsDrumLine(line) && LoadVoice(probe, line, demo.Image())) {
            lines.push_back(line);
        }
    }

    std::printf("soak: %ld jobs against the built-in instrument, identify and send in turn, no MIDI delay\n", jobs);
    const Figures start = Measure();
    Print(0, start);
    std::vector<Figures> marks;
    long failures = 0;
    unsigned long sent = 0;
    JobRunner runner;
    auto params = std::make_unique<EXParams>();
    const auto began = std::chrono::steady_clock::now();
    for (long j = 1; j <= jobs; ++j) {
        bool ok = false;
        if (j % 2 == 1) {
            ok = RunJob(runner, &IdentifyJob, *params, [&](HWND done) {
                params->PrepareIdentify(done, Delays(0), "soak");
                params->identResult[0] = '\0';
            }) && std::string(params->identResult) == "EX5";
        } else {
            auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
            LoadVoice(*patch, lines[sent % lines.size()], demo.Image());
            ++sent;
            ok = RunJob(runner, &SendVoiceJob, *params, [&](HWND done) {
                params->PrepareSendVoice(patch.release(), nullptr, done, Delays(25), "soak");
            });
        }
        if (!ok || params->errorText[0] != '\0') {
            if (++failures <= 5) {
                std::fprintf(stderr, "soak: job %ld failed: %s\n", j, params->errorText);
            }
        }
        if (j % every == 0) {
            marks.push_back(Measure());
            Print(j, marks.back());
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const virtual_ex5::Received received = driver->Instrument().GetReceived();
    std::printf("%.1f s, %.2f ms a job; the instrument answered %u identifications and took %u of %lu voices\n",
                seconds, 1000.0 * seconds / static_cast<double>(jobs), received.identityReplies,
                received.voicesTaken, sent);

    std::filesystem::current_path(previous);

    // The first mark is the base for memory: the allocator settles in the
    // first jobs. Files and threads must be back where they started.
    int status = 0;
    if (failures != 0) {
        std::printf("FAILED: %ld jobs failed\n", failures);
        status = 1;
    }
    constexpr long kSlackKiB = 512;
    for (const Figures& m : marks) {
        if (m.fds != start.fds || m.threads != start.threads || m.rssKiB > marks.front().rssKiB + kSlackKiB) {
            std::printf("FAILED: grew to resident %ld KiB, open files %d, threads %d\n", m.rssKiB, m.fds, m.threads);
            status = 1;
            break;
        }
    }
    if (status == 0) {
        std::printf("no growth\n");
    }
    return status;
}
