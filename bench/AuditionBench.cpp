#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "instrument/Audition.h"
#include "instrument/Midi.h"
#include "midi/MidiParams.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/JackMidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/JackServer.h"
#include "tests/support/NotePeer.h"
#include "tests/support/PortIndex.h"
#include "tests/support/ScopedMidiDrivers.h"

// From the press to the first note-on leaving the program, with a SysEx
// delay of 0: opening both ports is part of every press.

namespace {

using Clock = std::chrono::steady_clock;

void Fill(EXParams& params, std::uint32_t in, std::uint32_t out)
{
    JobSettings settings;
    settings.midiInPort = in;
    settings.midiOutPort = out;
    settings.sysexDelay = 0;
    params.PrepareIdentify(nullptr, settings, "1.0.3");
}

constexpr auto kArrivalLimit = std::chrono::milliseconds(2000);

bool SkippedWithoutJack(benchmark::State& state)
{
    if (JackServerRunning()) {
        return false;
    }
    state.SkipWithError("no JACK server is running");
    return true;
}

// A JACK client outside the program, and the program's JACK driver alone.
struct JackBench {
    NotePeer peer{"sonderik-bench-peer"};
    ScopedMidiDrivers drivers{{std::make_shared<JackMidiDriver>()}};
};

// The time from `since` until the peer has a message; one that has not come
// by kArrivalLimit counts as lost, and as that long.
void TimeArrival(benchmark::State& state, NotePeer& peer, Clock::time_point since, std::int64_t& lost)
{
    const auto arrived = peer.Wait(1, kArrivalLimit);
    if (arrived.empty()) {
        ++lost;
        state.SetIterationTime(std::chrono::duration<double>(kArrivalLimit).count());
    } else {
        state.SetIterationTime(std::chrono::duration<double>(arrived.front().at - since).count());
    }
}

}  // namespace

// Until the built-in instrument has the note.
static void BM_PressToFirstNoteBuiltIn(benchmark::State& state)
{
    auto driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const ScopedMidiDrivers drivers({driver});
    EXParams params;
    Fill(params, 0, 0);
    Audition audition(params);
    for (auto _ : state) {
        driver->Instrument().Clear();
        const auto pressed = Clock::now();
        audition.OnAuditionPress(Audition::kNoteControl, 0);
        const auto received = driver->Instrument().GetReceived();
        if (received.channelTimes.empty()) {
            state.SkipWithError("the note did not arrive");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(received.channelTimes.front() - pressed).count());
        audition.StopAudition(Audition::kNoteControl, 0);
    }
}
BENCHMARK(BM_PressToFirstNoteBuiltIn)->UseManualTime()->Unit(benchmark::kMillisecond);

// The gaps between the notes the built-in instrument receives with a run
// pause of 60 ms and a SysEx delay of 10 ms: the run's notes keep both
// apart, the chord's only the delay. The least each gap may be is a test's
// (instrument.AuditionTest); here, how far above it they land.
static void BM_NoteGapsBuiltIn(benchmark::State& state)
{
    constexpr std::uint32_t kSysexDelayMs = 10;
    constexpr auto kRunPause = std::chrono::milliseconds(60);
    auto driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const ScopedMidiDrivers drivers({driver});
    EXParams params;
    params.PrepareIdentify(nullptr, JobSettings{0, 0, 1, kSysexDelayMs, 0, {}, {}}, "1.0.3");
    Audition audition(params, kRunPause);
    using Ms = std::chrono::duration<double, std::milli>;
    double runMost = 0;
    double chordMost = 0;
    for (auto _ : state) {
        driver->Instrument().Clear();
        audition.PlayTrill();
        audition.PlayMajorChord();
        const auto times = driver->Instrument().GetReceived().channelTimes;
        if (times.size() != 7) {
            state.SkipWithError("the run and the chord did not arrive");
            break;
        }
        // The run's four notes first, then the chord's three.
        for (std::size_t i = 1; i < 4; ++i) {
            runMost = std::max(runMost, Ms(times[i] - times[i - 1]).count());
        }
        for (std::size_t i = 5; i < 7; ++i) {
            chordMost = std::max(chordMost, Ms(times[i] - times[i - 1]).count());
        }
    }
    state.counters["run_gap_most_ms"] = runMost;
    state.counters["chord_gap_most_ms"] = chordMost;
}
BENCHMARK(BM_NoteGapsBuiltIn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Until a JACK client outside the program sees the note in its process cycle.
static void BM_PressToFirstNoteJack(benchmark::State& state)
{
    if (SkippedWithoutJack(state)) {
        return;
    }
    JackBench jack;
    NotePeer& peer = jack.peer;
    EXParams params;
    Fill(params, InPortIndex(peer.OutName()), OutPortIndex(peer.InName()));
    Audition audition(params);
    std::int64_t lost = 0;
    double pressSeconds = 0;
    for (auto _ : state) {
        peer.Clear();
        const auto pressed = Clock::now();
        const std::string failed = ReportAudition([&] { audition.OnAuditionPress(Audition::kNoteControl, 0); });
        pressSeconds += std::chrono::duration<double>(Clock::now() - pressed).count();
        if (!failed.empty()) {
            state.SkipWithError(failed.c_str());
            break;
        }
        TimeArrival(state, peer, pressed, lost);
        ReportAudition([&] { audition.StopAudition(Audition::kNoteControl, 0); });
        peer.Wait(6, std::chrono::milliseconds(100));
    }
    state.counters["lost"] = static_cast<double>(lost);
    // How long the press held the dialog's thread: both JACK clients opened,
    // the note handed over, both closed.
    state.counters["press_ms"] = 1000 * pressSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PressToFirstNoteJack)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// The same note with the ports already open: JACK's own share.
static void BM_NoteOnToJackClientPortsOpen(benchmark::State& state)
{
    if (SkippedWithoutJack(state)) {
        return;
    }
    JackBench jack;
    NotePeer& peer = jack.peer;
    EXParams params;
    params.sysexDelay = 0;
    params.attempts = 4;
    params.midiOutPort = OutPortIndex(peer.InName());
    {
        MidiParams pair;
        if (pair.midiOut.Open(params) != MMSYSERR_NOERROR) {
            state.SkipWithError("the peer's port cannot be opened");
            return;
        }
        Midi midi;
        // The connection takes effect in a later cycle: wait for a first note.
        midi.SendShort(params, pair, 0x90, 60, 0);
        peer.Wait(1, kArrivalLimit);
        std::int64_t lost = 0;
        for (auto _ : state) {
            peer.Clear();
            const auto sent = Clock::now();
            midi.SendShort(params, pair, 0x90, 60, 64);
            TimeArrival(state, peer, sent, lost);
        }
        midi.SendShort(params, pair, 0x90, 60, 0);
        pair.midiOut.Close(params);
        state.counters["lost"] = static_cast<double>(lost);
    }
}
BENCHMARK(BM_NoteOnToJackClientPortsOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

BENCHMARK_MAIN();
