#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "midi/MidiParams.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedMidiDrivers.h"

// The input callback's work for one buffer handed back: a reply that ends a
// message. Arg 0: the capture expects more (no SetEvent); arg 1: every
// buffer completes the capture and sets the event.
static void BM_CallbackPerBuffer(benchmark::State& state)
{
    const ScopedMidiDrivers drivers({std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})});
    EXParams params;
    {
        MidiInWin port;
        port.Open(0);
        port.StartCapture(params, 1023, state.range(0) != 0 ? 1 : 1 << 30);
        char reply[1024] = {};
        reply[14] = static_cast<char>(0xF7);
        MIDIHDR header{};
        header.lpData = reply;
        header.dwBufferLength = sizeof reply;
        header.dwBytesRecorded = 15;
        header.dwFlags = MHDR_DONE;
        for (auto _ : state) {
            port.OnDriverMessage(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(&header));
        }
        benchmark::DoNotOptimize(port.GetMessageCount());
        port.Close(params);
    }
}
BENCHMARK(BM_CallbackPerBuffer)->Arg(0)->Arg(1);

// One Identity Request out through MidiOutWin and its 15-byte reply in
// through MidiInWin, with the built-in virtual EX5 unpaced: the whole
// exchange as a job makes it, capture armed, sent, waited for, read.
static void BM_VirtualRoundTrip(benchmark::State& state)
{
    auto ex5 = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const ScopedMidiDrivers drivers({ex5});
    EXParams params;
    params.sysexDelay = 1;
    params.attempts = 1000;
    const std::uint8_t request[6] = {0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7};
    std::uint8_t reply[4096];
    {
        MidiParams pair;
        pair.midiIn.Open(0);
        pair.midiOut.Open(params);
        for (auto _ : state) {
            const HANDLE event = pair.midiIn.StartCapture(params, 4096, 1);
            pair.midiOut.SendLongMessage(params, request, 6);
            if (WaitForSingleObject(event, 1000) != WAIT_OBJECT_0) {
                state.SkipWithError("no reply");
                break;
            }
            pair.midiIn.Stop();
            benchmark::DoNotOptimize(pair.midiIn.ReadMessage(reply, sizeof reply, 0));
        }
        pair.midiIn.Close(params);
        pair.midiOut.Close(params);
    }
}
BENCHMARK(BM_VirtualRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Taking back a voice still on the cable (891 bytes at MIDI speed, 285 ms on
// the built-in instrument's wire): reset, unprepare and close, which must not
// wait for the wire. That the send gives up is a test's (platform.StreamOutDeviceTest).
static void BM_ResetOfAVoiceOnTheCable(benchmark::State& state)
{
    constexpr std::size_t kVoiceBytes = 891;
    const ScopedMidiDrivers drivers({std::make_shared<VirtualEX5Driver>(virtual_ex5::ParseConfig("wire=1", nullptr))});
    std::vector<char> voice(kVoiceBytes, 0);
    voice.front() = static_cast<char>(0xF0);
    voice.back() = static_cast<char>(0xF7);
    for (auto _ : state) {
        state.PauseTiming();
        HMIDIOUT out = nullptr;
        MIDIHDR header{};
        header.lpData = voice.data();
        header.dwBufferLength = static_cast<DWORD>(voice.size());
        if (midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR ||
            midiOutPrepareHeader(out, &header, sizeof header) != MMSYSERR_NOERROR ||
            midiOutLongMsg(out, &header, sizeof header) != MMSYSERR_NOERROR) {
            state.SkipWithError("the voice could not be sent");
            break;
        }
        state.ResumeTiming();
        midiOutReset(out);
        midiOutUnprepareHeader(out, &header, sizeof header);
        midiOutClose(out);
    }
}
BENCHMARK(BM_ResetOfAVoiceOnTheCable)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
