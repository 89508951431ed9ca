#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "instrument/Midi.h"
#include "midi/MidiParams.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

class ConversationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
        drivers.Install({driver});
        params.PrepareIdentify(nullptr, JobSettings{0, 0, 1, 1, 0, {}, {}}, "1.0.3");
        params.log = log.File();
    }
    void TearDown() override { params.log = nullptr; }

    std::shared_ptr<VirtualEX5Driver> driver;
    LogCapture log;
    EXParams params;
    ScopedMidiDrivers drivers;
};

}  // namespace

TEST_F(ConversationTest, ChannelMessagesAndDirectSysexReachTheInstrument)
{
    Midi midi;
    {
        MidiParams pair;
        pair.midiIn.Open(params.midiInPort);
        pair.midiOut.Open(params);
        params.verbose = 1;
        EXPECT_EQ(0, midi.SendShort(params, pair, 0x90, 60, 64));
        pair.midiIn.Close(params);
        pair.midiOut.Close(params);
    }
    EXPECT_EQ(" Sent 3 bytes: 90 3C 40\r\n", log.Text());

    VoiceFileBuilder bank;
    bank.Voice(0, "Direct", 2).Element(0, 1, 5);
    EX5Patch patch("AssemblPatch", 0);
    ASSERT_TRUE(LoadVoice(patch, VoiceListLine(bank.Image(), 0), bank.Image()));
    const std::uint8_t* message = patch.Assemble();
    EXPECT_EQ(1, midi.SendSysexDirect(params, 0, 0, "ignored", message, static_cast<int>(patch.GetMessageLength())));

    const auto received = driver->Instrument().GetReceived();
    ASSERT_EQ(1u, received.channelMessages.size());
    EXPECT_EQ((std::vector<std::uint8_t>{0x90, 60, 64}), received.channelMessages[0]);
    ASSERT_EQ(1u, received.voices.size());
    EXPECT_EQ(1u, received.voices[0].elements.size());

    params.midiOutPort = 7;
    EXPECT_EQ(1, midi.SendSysexDirect(params, 0, 0, "", message, 10)) << "a port that cannot be opened sends nothing";
    EXPECT_EQ(-1, midi.Unsupported(1, 2));
}

TEST(LoadSysexFileTest, ReadsUpToTheCapacity)
{
    TempDir dir;
    std::ofstream(dir.File("hundred.syx"), std::ios::binary) << std::string(100, '\x42');
    std::vector<std::uint8_t> buffer(200, 0);
    Midi midi;
    EXPECT_EQ(10, midi.LoadSysexFile(buffer.data(), dir.File("hundred.syx").c_str(), 10));
    EXPECT_EQ(0, buffer[10]);
    EXPECT_EQ(100, midi.LoadSysexFile(buffer.data(), dir.File("hundred.syx").c_str(), 200));
    EXPECT_EQ(0, midi.LoadSysexFile(buffer.data(), dir.File("missing.syx").c_str(), 200));
}

TEST(EX5MidiTest, TheFamilyBuildsItsConversationOnceInstalled)
{
    InstallEX5Conversation();
    const std::unique_ptr<Midi> midi(GetFamily(0)->CreateMidi());
    EXPECT_NE(nullptr, dynamic_cast<EX5Midi*>(midi.get()));
}
