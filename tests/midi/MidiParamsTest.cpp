#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "midi/MidiParams.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

using Call = ScriptedMidiDriver::Call;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::uint8_t kRequest[6] = {0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7};

class VirtualPairTest : public ::testing::Test {
protected:
    void Install(const char* config)
    {
        virtualEX5 = std::make_shared<VirtualEX5Driver>(virtual_ex5::ParseConfig(config, nullptr));
        drivers.Install({virtualEX5});
    }
    void SetUp() override
    {
        params.log = log.File();
        params.sysexDelay = 5;
        params.attempts = 400;
    }

    // One request and the reply through both ports; the reply's bytes, or
    // nothing when none came within `timeout` ms.
    Bytes Exchange(MidiParams& pair, const std::uint8_t* request, DWORD timeout)
    {
        const HANDLE event = pair.midiIn.StartCapture(params, 4096, 1);
        pair.midiOut.SendLongMessage(params, request, 6);
        if (WaitForSingleObject(event, timeout) != WAIT_OBJECT_0) {
            return {};
        }
        pair.midiIn.Stop();
        Bytes reply(4096);
        reply.resize(static_cast<std::size_t>(pair.midiIn.ReadMessage(reply.data(), 4096, 0)));
        return reply;
    }

    std::shared_ptr<VirtualEX5Driver> virtualEX5;
    LogCapture log;
    EXParams params;
    ScopedMidiDrivers drivers;
};

TEST_F(VirtualPairTest, AnIdentityRequestIsAnsweredThroughBothPorts)
{
    Install("model=EX7,device=3");
    MidiParams pair;
    pair.midiIn.Open(params.midiInPort);
    ASSERT_EQ(0u, pair.midiOut.Open(params));

    const std::uint8_t toDevice3[6] = {0xF0, 0x7E, 0x03, 0x06, 0x01, 0xF7};
    const auto reply = virtual_ex5::IdentityReply(virtual_ex5::Model::EX7, 3);
    EXPECT_EQ(Bytes(reply.begin(), reply.end()), Exchange(pair, toDevice3, 5000));
    EXPECT_EQ(1, pair.midiIn.GetMessageCount());

    const std::uint8_t toAll[6] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    EXPECT_EQ(3, Exchange(pair, toAll, 5000).at(2)) << "a broadcast is answered with the real number";
    EXPECT_EQ(Bytes{}, Exchange(pair, kRequest, 50)) << "device 1 is another instrument";

    pair.midiIn.Close(params);
    pair.midiOut.Close(params);
    EXPECT_EQ(2u, virtualEX5->Instrument().GetReceived().identityReplies);
    EXPECT_EQ("", log.Text());
}

TEST_F(VirtualPairTest, AtCableSpeedTheSecondOfTwoVoicesWaitsForTheFirst)
{
    Install("wire=1");
    const VoiceFileBuilder demo = DemoBank();
    EX5Patch patch("AssemblPatch", 0);
    ASSERT_TRUE(LoadVoice(patch, VoiceListLine(demo.Image(), 0), demo.Image()));
    const std::uint8_t* message = patch.Assemble();
    const int length = static_cast<int>(patch.GetMessageLength());

    MidiParams pair;
    pair.midiIn.Open(0);
    pair.midiOut.Open(params);
    pair.midiOut.SendLongMessage(params, message, length);
    pair.midiOut.SendLongMessage(params, message, length);
    const std::string waited = log.Text();
    pair.midiOut.Close(params);
    pair.midiIn.Close(params);

    // 435 bytes take 139 ms on the cable: several polls 5 ms apart.
    EXPECT_TRUE(std::regex_match(waited, std::regex(R"(Waiting for MIDI Out\.\.+)"))) << waited;
    const auto received = virtualEX5->Instrument().GetReceived();
    ASSERT_EQ(2u, received.voices.size()) << (received.refused.empty() ? "" : received.refused[0]);
    EXPECT_TRUE(std::equal(patch.common.begin(), patch.common.end(), received.voices[1].common.begin()));
    EXPECT_EQ(patch.GetElementCount(), received.voices[1].elements.size());
}

class ScriptedPairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Out"}, std::vector<std::string>{"In"});
        drivers.Install({driver});
        params.sysexDelay = 1;
        params.attempts = 4;
    }

    std::shared_ptr<ScriptedMidiDriver> driver;
    EXParams params;
    ScopedMidiDrivers drivers;
};

TEST_F(ScriptedPairTest, APairNeverOpenedCallsNothing)
{
    { MidiParams pair; }
    EXPECT_TRUE(driver->Calls().empty());
}

TEST_F(ScriptedPairTest, AFailedActionStillLeavesBothPortsClosedWithoutARaise)
{
    driver->AllowAll();
    driver->Script(Call::OutLong, {MMSYSERR_NOMEM});
    try {
        MidiParams pair;
        pair.midiIn.Open(params.midiInPort);
        pair.midiOut.Open(params);
        pair.midiIn.StartCapture(params, 4096, 1);
        pair.midiOut.SendLongMessage(params, kRequest, 6);
        ADD_FAILURE() << "the send should have failed";
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        EXPECT_STREQ("Error 0x7 sending MIDI message", e->message);
    }
    const auto calls = driver->Calls();
    const auto outClose = std::find(calls.begin(), calls.end(), "midiOutClose");
    const auto inClose = std::find(calls.begin(), calls.end(), "midiInClose");
    ASSERT_NE(calls.end(), outClose);
    ASSERT_NE(calls.end(), inClose);
    EXPECT_LT(outClose, inClose) << "the output port goes first";
    EXPECT_EQ(0u, driver->QueuedBuffers());
}

TEST_F(ScriptedPairTest, AnInputPortThatCannotOpenStopsTheActionBeforeAnythingIsSent)
{
    driver->Script(Call::InOpen, {MMSYSERR_ALLOCATED});
    try {
        MidiParams pair;
        pair.midiIn.Open(params.midiInPort);
        pair.midiOut.Open(params);
        ADD_FAILURE() << "opening the input should have failed";
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        EXPECT_STREQ("Cannot open MIDI device for input", e->message);
    }
    EXPECT_EQ((std::vector<std::string>{"midiInOpen 0"}), driver->Calls());
}

}  // namespace
