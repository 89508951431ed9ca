#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "instrument/Audition.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/JackMidiDriver.h"
#include "tests/support/JackServer.h"
#include "tests/support/NotePeer.h"
#include "tests/support/PortIndex.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/Within.h"

// Every press and release opens and closes its ports: over JACK, where a new
// port's connection and the bytes written to it take effect only in later
// process cycles, no note may be lost on the way.

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kListedBound = 10s;

namespace {

TEST(AuditionJackTest, EveryNoteOfTheRunAndItsReleaseReachesAnOutsideClientInOrder)
{
    if (!JackServerRunning()) {
        GTEST_SKIP() << "skipped: no JACK server is running";
    }
    NotePeer peer("sonderik-audition-peer");
    ASSERT_TRUE(peer.Ok());
    auto system = std::make_shared<JackMidiDriver>();
    const ScopedMidiDrivers drivers({system});

    EXParams params;
    JobSettings settings;
    settings.sysexDelay = 0;
    // A busy server may refuse the driver's first client (seen under a full
    // parallel run): the lists are asked again, as a port list opened does.
    const auto listed = [&] {
        settings.midiOutPort = OutPortIndex(peer.InName());
        settings.midiInPort = InPortIndex(peer.OutName());
        if (settings.midiOutPort != kNotListed && settings.midiInPort != kNotListed) {
            return true;
        }
        platform::RescanMidiPorts();
        return false;
    };
    ASSERT_TRUE(Within(kListedBound, listed)) << "the peer's ports are listed";
    params.PrepareIdentify(nullptr, settings, "1.0.3");

    Audition audition(params, 20ms);
    const std::vector<Bytes> expected{{0x90, 60, 64}, {0x90, 64, 64}, {0x90, 67, 64}, {0x90, 72, 64}, {0x90, 60, 0},
                                      {0x90, 63, 0},  {0x90, 64, 0},  {0x90, 67, 0},  {0x90, 72, 0}};
    // A loss is the program's fault unless the server missed a period
    // meanwhile; then JACK may have dropped it, and the run is played again.
    constexpr int kAttempts = 5;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        peer.Clear();
        const int xruns = peer.Xruns();
        EXPECT_EQ("", ReportAudition([&] { audition.PlayTrill(); }));
        EXPECT_EQ("", ReportAudition([&] { audition.StopAudition(Audition::kTrillControl, 0); }));
        std::vector<Bytes> arrived;
        for (const auto& a : peer.Wait(expected.size(), 2s)) {
            arrived.push_back(a.bytes);
        }
        if (arrived == expected || peer.Xruns() == xruns || attempt + 1 == kAttempts) {
            EXPECT_EQ(expected, arrived) << peer.Xruns() - xruns << " periods missed meanwhile";
            break;
        }
        std::string got;
        for (const Bytes& m : arrived) {
            char hex[8];
            std::snprintf(hex, sizeof hex, " %02X%02X", m[1], m[2]);
            got += hex;
        }
        std::printf("attempt %d lost notes across %d missed periods; arrived:%s\n", attempt + 1,
                    peer.Xruns() - xruns, got.c_str());
    }
}

}  // namespace
