#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "instrument/Identity.h"
#include "instrument/Jobs.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/JobHarness.h"
#include "tests/support/ScopedMidiDrivers.h"

namespace {

std::vector<std::uint8_t> Hex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

TEST(IdentityRequestTest, CarriesTheDeviceNumber)
{
    EXPECT_EQ((std::array<std::uint8_t, 6>{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}), IdentityRequest(0));
    EXPECT_EQ(0x10, IdentityRequest(16)[2]);
    EXPECT_EQ(0x7F, IdentityRequest(127)[2]);
}

TEST(IdentityReplyTest, DecodesTheThreeShapes)
{
    IdentityFields f;
    const auto ex5 = Hex("F07E000602430041023300000001F7");
    ASSERT_TRUE(DecodeIdentityReply(ex5.data(), ex5.size(), f));
    EXPECT_EQ(0x43, f.manufacturerId);
    EXPECT_EQ(0x2080, f.familyCode);
    EXPECT_EQ(0x1982, f.memberCode);
    EXPECT_EQ(0x0080, f.revision2);

    f.revision1 = 77;
    const auto short14 = Hex("F07E0006020041023300000001F7");
    ASSERT_TRUE(DecodeIdentityReply(short14.data(), short14.size(), f));
    EXPECT_EQ(0x41, f.manufacturerId) << "a 14-byte reply has no manufacturer byte";
    EXPECT_EQ(0x1982, f.memberCode);
    EXPECT_EQ(77, f.revision1) << "and no revision of its own";

    const auto three = Hex("F07E0006020021000041023300000001F7");
    ASSERT_EQ(17u, three.size());
    ASSERT_TRUE(DecodeIdentityReply(three.data(), three.size(), f));
    EXPECT_EQ(0x21, f.manufacturerId) << "a three-byte manufacturer code";
    EXPECT_EQ(0x0080, f.revision2);
}

TEST(IdentityReplyTest, RefusesOtherShapesAndLeavesTheFieldsAlone)
{
    IdentityFields f;
    f.manufacturerId = 5;
    const std::vector<std::vector<std::uint8_t>> bad = {
        Hex("F07E000601430041023300000001F7"),       // byte 4 is not 02
        Hex("F07E0006020143000041023300000001F7"),   // 17 bytes, byte 5 not 00
        Hex("F07E00060243004102330000000100F7"),     // 16 bytes
        Hex("F07E06"),
    };
    for (const auto& reply : bad) {
        EXPECT_FALSE(DecodeIdentityReply(reply.data(), reply.size(), f)) << reply.size();
        EXPECT_EQ(5, f.manufacturerId) << reply.size();
    }
}

TEST(IdentityReplyTest, NamesTheModelsByMemberCode)
{
    EXPECT_STREQ("EX5", ModelOfMember(0x1982).result);
    EXPECT_STREQ(" EX7", ModelOfMember(0x1A02).logText);
    EXPECT_STREQ("EX5R", ModelOfMember(0x2002).result);
    EXPECT_STREQ(" UNKNOWN", ModelOfMember(0x1985).logText);
    EXPECT_STREQ("Yamaha Other", ModelOfMember(0).result);
}

// One identification against the virtual instrument, from its
// SONDERIK_VIRTUAL_EX5 settings to the whole log.
struct IdentCase {
    const char* label;
    const char* instrument;  // the virtual instrument's settings
    const char* conversation;  // the log between the parameter lines and the last line
    const char* result;
    std::uint32_t deviceAfter;
};

void PrintTo(const IdentCase& c, std::ostream* os) { *os << c.label; }

class IdentifyJobTest : public ::testing::TestWithParam<IdentCase> {
protected:
    ScopedMidiDrivers drivers;
};

TEST_P(IdentifyJobTest, LogsTheConversationAndNamesTheInstrument)
{
    const IdentCase& c = GetParam();
    std::vector<std::string> problems;
    const auto config = virtual_ex5::ParseConfig(c.instrument, &problems);
    ASSERT_TRUE(problems.empty());
    auto driver = std::make_shared<VirtualEX5Driver>(config);
    drivers.Install({driver});
    const std::string port = driver->OutputName(0);

    JobHarness harness;
    auto params = std::make_unique<EXParams>();
    harness.PrepareIdentify(*params);
    std::snprintf(params->identResult, sizeof params->identResult, "old result");
    EXPECT_EQ("Done", harness.Run(&IdentifyJob, *params));

    std::string conversation = c.conversation;
    for (std::size_t at; (at = conversation.find("PORT")) != std::string::npos;) {
        conversation.replace(at, 4, port);
    }
    EXPECT_EQ("Sonderik 1.0.3 started at <date>\n"
              "Parameters: MIDI OUT=" + port + ", MIDI IN=" + port + "\r\n"
              "Instrument=Yamaha EX5/5R/7, Device number=1, Delay=5, Timeout=30, Retries=3\r\n" +
                  conversation + "Finished instrument ident <date>\n",
              harness.Log());
    EXPECT_STREQ(c.result, params->identResult);
    EXPECT_EQ(c.deviceAfter, params->deviceNumber);
    EXPECT_EQ(nullptr, params->log);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, IdentifyJobTest,
    ::testing::Values(
        IdentCase{"EX5", "model=EX5",
                  "Requesting Id. Found a Yamaha EX5 with device number [1] at port [PORT]\r\n", "EX5", 1},
        IdentCase{"EX5R", "model=EX5R",
                  "Requesting Id. Found a Yamaha EX5R with device number [1] at port [PORT]\r\n", "EX5R", 1},
        IdentCase{"EX7", "model=EX7",
                  "Requesting Id. Found a Yamaha EX7 with device number [1] at port [PORT]\r\n", "EX7", 1},
        IdentCase{"OtherYamaha", "reply=F07E010602430041020500000001F7",
                  "Requesting Id. Found a Yamaha UNKNOWN with device number [1] at port [PORT]\r\n",
                  "Yamaha Other", 1},
        IdentCase{"FourteenBytes", "reply=F07E0106020041023300000001F7",
                  "Requesting Id. No recognized instruments found\r\n", "Nothing known found.", 1},
        IdentCase{"OtherMaker", "reply=F07E010602410041023300000001F7",
                  "Requesting Id. No recognized instruments found\r\n", "Nothing known found.", 1},
        IdentCase{"BroadcastOnly", "device=5",
                  "Requesting Id....Requesting Id. Found a Yamaha EX5 with device number [5] at port [PORT]\r\n"
                  "Please check the MIDI Parameters\r\n",
                  "EX5", 5},
        IdentCase{"Silent", "silent=8",
                  "Requesting Id....Requesting Id.... No reply to ID request\r\n", "No reply to ID request.", 127},
        IdentCase{"Untranslatable", "reply=F07E01060243004102330000000100F7",
                  "Requesting Id. Received 16 bytes from device number 1 at PORT\r\n"
                  "[ F0 7E 01 06 02 43 00 41 02 33 00 00 00 01 00 F7 ]\r\n"
                  "Midi:116 Cannot translate the reply.\r\n",
                  "old result", 1}));

TEST_F(IdentifyJobTest, VerboseLogsEveryByte)
{
    auto driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    drivers.Install({driver});
    JobHarness harness;
    auto params = std::make_unique<EXParams>();
    harness.PrepareIdentify(*params);
    params->verbose = 1;
    harness.Run(&IdentifyJob, *params);
    const std::string log = harness.Log();
    EXPECT_NE(std::string::npos,
              log.find("Requesting Id. Message 1 Sent 6 bytes: F0 7E 01 06 01 F7\r\n Status=8 Received 1 messages\r\n"
                       " Received 1 message\r\n Message 1 Received 15 bytes: F0 7E 01 06 02 43 00 41 02 33 00 00 00 "
                       "01 F7\r\n Found a Yamaha EX5"))
        << log;
}
