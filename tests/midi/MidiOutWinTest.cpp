#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiOutWin.h"
#include "midi/SysexMessage.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Raised.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "voice/EXException.h"

using Call = ScriptedMidiDriver::Call;

namespace {

class MidiOutWinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver = std::make_shared<ScriptedMidiDriver>(
            std::vector<std::string>{"Out A", std::string(300, 'n')}, std::vector<std::string>{"In A"});
        drivers.Install({driver});
        params.log = log.File();
        params.midiOutPort = 0;
        params.sysexDelay = 1;
        params.attempts = 4;
    }

    void OpenPort(MidiOutWin& port)
    {
        driver->Allow({Call::OutOpen, Call::OutClose, Call::OutShort, Call::OutPrepare, Call::OutLong,
                       Call::OutUnprepare});
        ASSERT_EQ(0u, port.Open(params));
    }

    std::shared_ptr<ScriptedMidiDriver> driver;
    LogCapture log;
    EXParams params;
    const std::uint8_t request[6] = {0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7};
    ScopedMidiDrivers drivers;
};

TEST(SysexMessageTest, SetDataReserveAndCopyKeepTheirLimits)
{
    SysexMessage m;
    EXPECT_EQ(1024, m.GetCapacity());
    EXPECT_EQ(1024u, m.GetHeader()->dwBufferLength);
    EXPECT_EQ(m.GetData(), reinterpret_cast<const std::uint8_t*>(m.GetHeader()->lpData));

    const std::vector<std::uint8_t> full(1024, 0x11);
    const std::vector<std::uint8_t> over(1025, 0x22);
    EXPECT_EQ(0, m.SetData(full.data(), 1024));
    EXPECT_EQ(-1, m.SetData(over.data(), 1025));
    EXPECT_EQ(0x11, m.GetData()[1023]) << "a refused SetData changes nothing";
    EXPECT_EQ(1024u, m.GetHeader()->dwBufferLength);

    EXPECT_EQ(1024, m.Reserve(512));
    EXPECT_EQ(0x11, m.GetData()[0]) << "a Reserve that does not grow keeps the contents";
    EXPECT_EQ(2048, m.Reserve(2048));
    EXPECT_EQ(0, m.GetData()[0]);

    std::uint8_t dest[8] = {};
    m.SetData(full.data(), 5);
    m.GetHeader()->dwBytesRecorded = 5;
    EXPECT_EQ(0, m.CopyData(dest, 8)) << "nothing before the driver marks the header done";
    m.GetHeader()->dwFlags |= MHDR_DONE;
    EXPECT_EQ(3, m.CopyData(dest, 3));
    m.GetHeader()->dwBytesRecorded = 1'000'000;  // a driver claiming more than there is
    EXPECT_EQ(2048, [&] { std::vector<std::uint8_t> big(4096); return m.CopyData(big.data(), 4096); }());
}

TEST_F(MidiOutWinTest, PortNamesAreCheckedAndCut)
{
    char name[260] = "junk";
    EXPECT_EQ(0, MidiOutWin::GetDeviceName(0, name, 260));
    EXPECT_STREQ("Out A", name);
    MidiOutWin::GetDeviceName(1, name, 260);
    EXPECT_EQ(std::string(MAXPNAMELEN - 1, 'n'), name) << "the driver's record holds MAXPNAMELEN - 1";
    MidiOutWin::GetDeviceName(0, name, 4);
    EXPECT_STREQ("Out", name);

    std::strcpy(name, "junk");
    EXPECT_EQ("MidiOutWin:59 Invalid MIDI out device number", Raised([&] { MidiOutWin::GetDeviceName(2, name, 260); }));
    EXPECT_STREQ("", name);
    EXPECT_EQ("MidiOutWin:54 Null lpszDeviceName parameter", Raised([] { MidiOutWin::GetDeviceName(0, nullptr, 260); }));
    EXPECT_EQ("MidiOutWin:59 Invalid MIDI out device number",
              Raised([&] { MidiOutWin::GetDeviceName(MIDI_MAPPER, name, 260); }))
        << "there is no MIDI mapper";
}

TEST_F(MidiOutWinTest, OpenReportsTheDriversCodeAndCloseOnlyClosesWhatIsOpen)
{
    MidiOutWin port;
    EXPECT_EQ(0u, port.Close(params)) << "closing a closed port calls nothing";

    driver->Script(Call::OutOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ(MMSYSERR_ALLOCATED, port.Open(params));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(nullptr, params.midiOutHandle);

    params.midiOutPort = MIDI_MAPPER;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, port.Open(params)) << "a job with no port chosen fails visibly";

    params.midiOutPort = 0;
    OpenPort(port);
    EXPECT_EQ(0u, port.Open(params));
    EXPECT_EQ(2, driver->CountOf(Call::OutOpen)) << "a second Open does not call the driver";
    EXPECT_EQ(0u, port.Close(params));
    EXPECT_EQ(1, driver->CountOf(Call::OutClose));
}

TEST_F(MidiOutWinTest, CounterCountsWhatTheDriverAcceptedAndSendsPackTheirBytes)
{
    MidiOutWin port;
    OpenPort(port);
    port.SendShortMessage(params, 0x90, 60, 64);
    port.SendLongMessage(params, request, 6);
    EXPECT_EQ(2, port.GetMessageCount());

    driver->Script(Call::OutShort, {MIDIERR_NOTREADY});
    EXPECT_EQ("MidiOutWin:105 Error 0x43 sending MIDI message", Raised([&] { port.SendShortMessage(params, 0x80, 60, 0); }));
    driver->Script(Call::OutPrepare, {MMSYSERR_NOMEM});
    EXPECT_EQ("MidiOutWin:128 Error 0x7 preparing MIDI out header", Raised([&] { port.SendLongMessage(params, request, 6); }));
    driver->Script(Call::OutLong, {MMSYSERR_INVALHANDLE});
    EXPECT_EQ("MidiOutWin:136 Error 0x5 sending MIDI message", Raised([&] { port.SendLongMessage(params, request, 6); }));
    driver->Script(Call::OutUnprepare, {MMSYSERR_INVALPARAM});
    EXPECT_EQ("MidiOutWin:186 Error 0xB unpreparing MIDI out header", Raised([&] { port.SendLongMessage(params, request, 6); }));
    EXPECT_EQ(2, port.GetMessageCount()) << "failed sends are not counted";

    const auto sent = driver->Sent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ((std::vector<std::uint8_t>{0x90, 60, 64}), sent[0]);
    EXPECT_EQ(std::vector<std::uint8_t>(request, request + 6), sent[1]);
}

TEST_F(MidiOutWinTest, AMessageTooLongForTheBufferIsRefusedWithAReason)
{
    MidiOutWin port;
    OpenPort(port);
    const std::vector<std::uint8_t> big(1025, 0x10);
    EXPECT_EQ("MidiOutWin:120 Cannot send 1025 bytes: a MIDI message holds at most 1024",
              Raised([&] { port.SendLongMessage(params, big.data(), 1025); }));
    EXPECT_EQ(0, driver->CountOf(Call::OutLong));
    EXPECT_EQ("nothing raised", Raised([&] { port.SendLongMessage(params, big.data(), 1024); }));
}

TEST_F(MidiOutWinTest, WaitingForTheDriverIsLoggedAndBounded)
{
    MidiOutWin port;
    OpenPort(port);
    port.SendLongMessage(params, request, 6);
    driver->StillPlaying(Call::OutUnprepare, 2);
    EXPECT_EQ("nothing raised", Raised([&] { port.SendLongMessage(params, request, 6); }));
    EXPECT_EQ("Waiting for MIDI Out..", log.Text()) << "proceeds as soon as the driver lets go";

    driver->StillPlaying(Call::OutUnprepare, 4);
    EXPECT_EQ("MidiOutWin:186 Error 0x41 unpreparing MIDI out header",
              Raised([&] { port.SendLongMessage(params, request, 6); }));
    EXPECT_EQ("Waiting for MIDI Out..Waiting for MIDI Out....", log.Text()) << "the text, then three dots";
    EXPECT_EQ(1 + 3 + 4, driver->CountOf(Call::OutUnprepare)) << "the first send of a job does not wait";
}

TEST_F(MidiOutWinTest, DestructionClosesAnOpenPortWithoutLogOrRaiseEvenWhenTheDriverHoldsOn)
{
    {
        MidiOutWin port;
        OpenPort(port);
        port.SendLongMessage(params, request, 6);
        driver->StillPlaying(Call::OutUnprepare, 100);
        driver->Script(Call::OutReset, {MMSYSERR_NOERROR});
        params.midiOutHandle = nullptr;  // the job's record has moved on
    }
    EXPECT_EQ("", log.Text());
    EXPECT_EQ(1, driver->CountOf(Call::OutReset)) << "the buffer is taken back before it is freed";
    EXPECT_EQ(1, driver->CountOf(Call::OutClose)) << "the port reached its own handle";
    EXPECT_LE(driver->CountOf(Call::OutUnprepare), 1 + 4 + 1) << "a fixed, short pacing";
}

}  // namespace
