#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiInWin.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Raised.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "voice/EXException.h"

using Call = ScriptedMidiDriver::Call;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A SysEx message of `length` bytes: F0, a counting body, F7.
Bytes Sysex(std::size_t length, std::uint8_t seed = 0)
{
    Bytes m(length);
    for (std::size_t i = 0; i < length; ++i) {
        m[i] = static_cast<std::uint8_t>((i + seed) & 0x7F);
    }
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

const Bytes kReply = {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x43, 0x00, 0x41, 0x02, 0x33, 0x00, 0x00, 0x00, 0x01, 0xF7};

class MidiInWinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Out A"},
                                                      std::vector<std::string>{"In A", "In B"});
        drivers.Install({driver});
        params.log = log.File();
        params.sysexDelay = 1;
        params.attempts = 4;
    }

    void OpenPort()
    {
        driver->AllowAll();
        ASSERT_EQ(0, port.Open(0));
    }

    Bytes Read(int index, int size = 4096) const
    {
        Bytes dest(static_cast<std::size_t>(size), 0xEE);
        dest.resize(static_cast<std::size_t>(port.ReadMessage(dest.data(), size, index)));
        return dest;
    }

    std::shared_ptr<ScriptedMidiDriver> driver;
    LogCapture log;
    EXParams params;
    MidiInWin port;
    ScopedMidiDrivers drivers;
};

TEST_F(MidiInWinTest, BufferCountFollowsTheExpectedReplySize)
{
    EXPECT_EQ(5, port.GetBufferCount()) << "made with room for 4096 bytes";
    for (const auto& [bytes, count] : {std::pair{4096, 5}, {1023, 1}, {1024, 2}, {0, 1}, {-5, 1}}) {
        port.AllocateBuffers(bytes);
        EXPECT_EQ(count, port.GetBufferCount()) << bytes << " bytes";
    }
}

TEST_F(MidiInWinTest, AReplyInOneBufferIsCountedSignalledAndRead)
{
    OpenPort();
    const HANDLE event = port.StartCapture(params, 4096, 1);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    driver->Feed(kReply, 4);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(0, port.Stop());
    EXPECT_EQ(1, port.GetMessageCount());
    EXPECT_EQ(0x08u, port.GetStatus());
    EXPECT_EQ(kReply, Read(0));
    EXPECT_EQ(Bytes(kReply.begin(), kReply.begin() + 4), Read(0, 4)) << "cut at a small destination";
}

TEST_F(MidiInWinTest, AMessageSpanningBuffersCountsOnceAndIsJoined)
{
    OpenPort();
    const HANDLE event = port.StartCapture(params, 4096, 2);
    const Bytes first = Sysex(2500);
    const Bytes second = Sysex(20, 3);
    driver->Feed(first, 700);
    EXPECT_EQ(1, port.GetMessageCount()) << "two full buffers and the end in a third";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0)) << "two are expected";
    driver->Feed(second);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    port.Stop();

    EXPECT_EQ(first, Read(0));
    EXPECT_EQ(second, Read(1));
    EXPECT_EQ(Bytes{}, Read(2)) << "nothing follows the last message";
    EXPECT_EQ(Bytes{}, Read(7)) << "an index past the buffers";
    Bytes zeros(16, 0xEE);
    EXPECT_EQ(0, port.ReadMessage(zeros.data(), 16, 9));
    EXPECT_EQ(Bytes(16, 0), zeros) << "the destination is cleared even when nothing is read";
}

TEST_F(MidiInWinTest, OnlyBuffersHandedBackCountAndReadAnUnfinishedTail)
{
    OpenPort();
    port.StartCapture(params, 4096, 5);
    driver->Feed(kReply);
    driver->HandBack(Bytes{0xF0, 0x01, 0x02});  // a buffer handed back short, without F7
    driver->Feed(Bytes{0xF0, 0x10});             // still in the driver's buffer
    port.OnDriverMessage(MIM_ERROR, 0);
    EXPECT_EQ(2, port.GetMessageCount()) << "a buffer handed back not full ends a message";
    EXPECT_EQ(0x18u, port.GetStatus());
    EXPECT_EQ(kReply, Read(0));
    EXPECT_EQ((Bytes{0xF0, 0x01, 0x02}), Read(1)) << "the unfinished message after the last F7";
    EXPECT_EQ(Bytes{}, Read(2)) << "bytes the driver still holds are not readable";
    port.Stop();
    EXPECT_EQ((Bytes{0xF0, 0x01, 0x02, 0xF0, 0x10}), Read(1))
        << "Stop hands the partly filled buffer back, and buffers join up to an F7";
}

TEST_F(MidiInWinTest, ANewCaptureStartsFreshAfterTheResetHandsEmptyBuffersBack)
{
    OpenPort();
    port.StartCapture(params, 4096, 1);
    const HANDLE event = port.StartCapture(params, 100, 1);
    EXPECT_EQ(0, port.GetMessageCount()) << "the five empty buffers the reset handed back do not count";
    EXPECT_EQ(0x08u, port.GetStatus()) << "but they do show in the status word";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    EXPECT_EQ(1, port.GetBufferCount());
    EXPECT_EQ(1u, driver->QueuedBuffers());
}

TEST_F(MidiInWinTest, IdleCallsCallNothing)
{
    EXPECT_EQ(0, port.Stop());
    EXPECT_EQ(0u, port.Reset(params));
    EXPECT_EQ(0, port.Close(params));
    EXPECT_TRUE(driver->Calls().empty());

    OpenPort();
    EXPECT_EQ(0, port.Open(1));
    EXPECT_EQ(1, driver->CountOf(Call::InOpen)) << "a second Open does nothing";
}

TEST_F(MidiInWinTest, EveryDriverFailureIsRaisedWithItsCode)
{
    char name[260];
    EXPECT_EQ("MidiInWin:98 Null lpszDeviceName parameter", Raised([] { MidiInWin::GetDeviceName(0, nullptr, 260); }));
    EXPECT_EQ("MidiInWin:103 Invalid MIDI device number", Raised([&] { MidiInWin::GetDeviceName(2, name, 260); }));
    EXPECT_STREQ("", name);
    MidiInWin::GetDeviceName(1, name, 260);
    EXPECT_STREQ("In B", name);

    driver->Script(Call::InOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ("MidiInWin:121 Cannot open MIDI device for input", Raised([&] { port.Open(0); }));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ("MidiInWin:121 Cannot open MIDI device for input", Raised([&] { port.Open(MIDI_MAPPER); }));

    EXPECT_EQ("MidiInWin:198 Error 0x5 preparing MIDI input buffer", Raised([&] { port.StartCapture(params, 10, 1); }))
        << "a port that is not open has no handle";

    OpenPort();
    driver->Script(Call::InPrepare, {MMSYSERR_NOMEM});
    EXPECT_EQ("MidiInWin:198 Error 0x7 preparing MIDI input buffer", Raised([&] { port.StartCapture(params, 10, 1); }));
    driver->Script(Call::InAdd, {MIDIERR_UNPREPARED});
    EXPECT_EQ("MidiInWin:205 Error 0x40 adding MIDI input buffer", Raised([&] { port.StartCapture(params, 10, 1); }));
    driver->Script(Call::InStart, {MMSYSERR_ERROR});
    EXPECT_EQ("MidiInWin:213 Error 0x1 starting MIDI input device", Raised([&] { port.StartCapture(params, 10, 1); }));

    port.StartCapture(params, 10, 1);
    driver->Script(Call::InStop, {MMSYSERR_INVALHANDLE});
    EXPECT_EQ("MidiInWin:241 Error 0x5 stopping MIDI input device", Raised([&] { port.Stop(); }));
    EXPECT_EQ(2, [&] { port.Stop(); return driver->CountOf(Call::InStop); }()) << "the port stayed started";

    driver->Script(Call::InUnprepare, {MMSYSERR_INVALPARAM});
    EXPECT_EQ("MidiInWin:155 Error 0xB unpreparing MIDI input buffer", Raised([&] { port.Reset(params); }));

    driver->Script(Call::InClose, {MIDIERR_STILLPLAYING});
    EXPECT_EQ("MidiInWin:366 Error 0x41 closing MIDI input device", Raised([&] { port.Close(params); }));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(0, port.Close(params));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(MidiInWinTest, ALostEventFailsTheCaptureWithCodeZero)
{
    driver->AllowAll();
    {
        MidiInWin started;
        started.Open(1);
        CloseHandle(started.StartCapture(params, 10, 1));
        EXPECT_EQ("MidiInWin:234 Error 0x0 resetting synchronization event", Raised([&] { started.Stop(); }));
    }
    OpenPort();
    const HANDLE event = port.StartCapture(params, 10, 1);
    port.Stop();
    CloseHandle(event);
    EXPECT_EQ("MidiInWin:190 Error 0x0 resetting synchronization event",
              Raised([&] { port.StartCapture(params, 10, 1); }));
}

TEST_F(MidiInWinTest, BuffersTheDriverHoldsOnToAreWaitedForPerBuffer)
{
    OpenPort();
    port.StartCapture(params, 1500, 1);  // two buffers
    port.Stop();
    driver->StillPlaying(Call::InUnprepare, 2);
    EXPECT_EQ("nothing raised", Raised([&] { port.Reset(params); }));
    EXPECT_EQ("Waiting for MIDI in..", log.Text());

    port.StartCapture(params, 1500, 1);
    port.Stop();
    driver->Script(Call::InUnprepare, {MMSYSERR_NOERROR});
    driver->StillPlaying(Call::InUnprepare, 4);
    EXPECT_EQ("MidiInWin:155 Error 0x41 unpreparing MIDI input buffer", Raised([&] { port.Reset(params); }));
    EXPECT_EQ("Waiting for MIDI in..Waiting for MIDI in....", log.Text()) << "the count starts again for each buffer";
}

TEST_F(MidiInWinTest, DestructionReleasesEverythingQuietly)
{
    driver->AllowAll();
    {
        MidiInWin open;
        open.Open(0);
        open.StartCapture(params, 100, 1);
        driver->Feed(Bytes{0xF0, 0x01});
        driver->StillPlaying(Call::InUnprepare, 50);
        driver->Script(Call::InClose, {MMSYSERR_ERROR});
    }
    EXPECT_EQ("", log.Text());
    EXPECT_EQ(0u, driver->QueuedBuffers()) << "the driver holds no buffer of the destroyed port";
    EXPECT_EQ(1, driver->CountOf(Call::InClose));
}

}  // namespace
