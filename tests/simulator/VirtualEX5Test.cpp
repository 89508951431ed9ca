#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "simulator/VirtualEX5.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

using namespace virtual_ex5;

namespace {

Bytes Of(std::initializer_list<int> values)
{
    Bytes bytes;
    for (const int v : values) {
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

// The bulk message of the first demo voice with `elements` elements.
Bytes VoiceMessage(std::uint32_t elements, EX5Patch& patch)
{
    const VoiceFileBuilder demo = DemoBank();
    for (int v = 0; v < 256; ++v) {
        if (LoadVoice(patch, VoiceListLine(demo.Image(), v), demo.Image())) {
            const std::uint8_t* m = patch.Assemble();
            if (patch.GetElementCount() == elements) {
                return Bytes(m, m + patch.GetMessageLength());
            }
        }
    }
    ADD_FAILURE() << "the demo bank has no voice of " << elements << " elements";
    return {};
}

TEST(VirtualEX5ConfigTest, ReadsEverySettingAndReportsWhatItCannotUse)
{
    std::vector<std::string> problems;
    const Config config = ParseConfig(" model=EX5R, device=15,silent=2,reply=F07E00F7,wire=1", &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(Model::EX5R, config.model);
    EXPECT_EQ(15, config.device);
    EXPECT_EQ(2u, config.silent);
    EXPECT_EQ(Of({0xF0, 0x7E, 0x00, 0xF7}), config.reply.value());
    EXPECT_TRUE(config.wire);

    const Config defaults = ParseConfig("", &problems);
    EXPECT_EQ(Model::EX5, defaults.model);
    EXPECT_EQ(1, defaults.device);
    EXPECT_FALSE(defaults.reply.has_value());

    const Config bad = ParseConfig("model=EX9,device=16,device=-1,reply=F0Z0,reply=F07,wire=yes,speed=2,loud", &problems);
    EXPECT_EQ(8u, problems.size());
    EXPECT_EQ(Model::EX5, bad.model);
    EXPECT_EQ(1, bad.device);
    EXPECT_FALSE(bad.reply.has_value());
    EXPECT_FALSE(bad.wire);
}

TEST(VirtualEX5ProtocolTest, IdentityRequestsAndRepliesHaveTheirExactBytes)
{
    const auto ex5 = IdentityReply(Model::EX5, 0);
    EXPECT_EQ(Of({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x43, 0x00, 0x41, 0x02, 0x33, 0x00, 0x00, 0x00, 0x01, 0xF7}),
              Bytes(ex5.begin(), ex5.end()));
    EXPECT_EQ(0x34, IdentityReply(Model::EX7, 5)[9]);
    EXPECT_EQ(0x40, IdentityReply(Model::EX5R, 5)[9]);
    EXPECT_EQ(5, IdentityReply(Model::EX5R, 5)[2]);

    EXPECT_EQ(16, IdentityRequestTarget(Of({0xF0, 0x7E, 0x10, 0x06, 0x01, 0xF7})).value());
    EXPECT_FALSE(IdentityRequestTarget(Of({0xF0, 0x7E, 0x10, 0x06, 0x02, 0xF7})));
    EXPECT_FALSE(IdentityRequestTarget(Of({0xF0, 0x7E, 0x10, 0x06, 0x01})));
}

TEST(VirtualEX5ProtocolTest, VoicesOfOneToFourElementsDecodeToWhatWasPacked)
{
    for (std::uint32_t elements = 1; elements <= 4; ++elements) {
        EX5Patch patch("AssemblPatch", 0);
        const Bytes message = VoiceMessage(elements, patch);
        const BulkResult result = DecodeVoiceBulk(message);
        ASSERT_TRUE(result.voice) << elements << " elements: " << result.fault;
        EXPECT_TRUE(std::equal(patch.common.begin(), patch.common.end(), result.voice->common.begin()));
        ASSERT_EQ(elements, result.voice->elements.size());
        std::size_t next = 0;
        for (std::size_t p = 0; p < EX5Patch::kMaxElements; ++p) {
            if (patch.HasElement(p)) {
                EXPECT_EQ(patch.elements[p], result.voice->elements[next++]) << "element position " << p;
            }
        }
    }
}

TEST(VirtualEX5ProtocolTest, BrokenBulkMessagesAreRefusedWithTheirFault)
{
    EX5Patch patch("AssemblPatch", 0);
    const Bytes good = VoiceMessage(2, patch);
    ASSERT_EQ(587u, good.size());
    const std::vector<std::pair<std::function<void(Bytes&)>, std::string>> breakages = {
        {[](Bytes& m) { m[3] = 0x5C; }, "not a voice bulk message"},
        {[](Bytes& m) { m[6] = 0x41; }, "address is not 40 00 00"},
        {[](Bytes& m) { m.back() = 0x00; }, "does not end with F7"},
        {[](Bytes& m) { m.erase(m.begin() + 20); }, "byte count does not match the message length"},
        {[](Bytes& m) { m[30] ^= 0x01; }, "checksum is wrong"},
        {[](Bytes& m) { m[30] |= 0x80; }, "a data byte has bit 7 set"},  // the sum mod 128 stays
        {[](Bytes& m) {  // a nonzero byte where the last group is completed with zeros
             m[m.size() - 5] = 0x01;
             m[m.size() - 2] = static_cast<std::uint8_t>((m[m.size() - 2] + 0x7F) & 0x7F);
         },
         "packing is not completed with zero bytes"},
    };
    for (const auto& [breakIt, fault] : breakages) {
        Bytes broken = good;
        breakIt(broken);
        EXPECT_EQ(fault, DecodeVoiceBulk(broken).fault);
    }
}

TEST(VirtualEX5Test, AnswersOnlyRequestsForItAfterTheSilentOnes)
{
    Config config;
    config.device = 4;
    config.silent = 1;
    VirtualEX5 ex5(config);
    const Bytes toOther = Of({0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7});
    const Bytes toAll = Of({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    EXPECT_TRUE(ex5.Receive(toOther).empty());
    EXPECT_TRUE(ex5.Receive(toAll).empty()) << "the first request is ignored";
    const auto answers = ex5.Receive(toAll);
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(4, answers[0][2]);

    const auto before = std::chrono::steady_clock::now();
    ex5.Receive(Of({0x90, 60, 64, 0x80, 60, 0, 0xF0, 0x43, 0x00, 0xF7}));
    ex5.Receive(Of({0x90, 72, 64}));
    const Received received = ex5.GetReceived();
    EXPECT_EQ(2u, received.identityRequests);
    EXPECT_EQ(1u, received.identityReplies);
    EXPECT_EQ((std::vector<Bytes>{Of({0x90, 60, 64}), Of({0x80, 60, 0}), Of({0x90, 72, 64})}),
              received.channelMessages);
    ASSERT_EQ(3u, received.channelTimes.size()) << "one receive time per channel message";
    EXPECT_LE(before, received.channelTimes[0]);
    EXPECT_EQ(received.channelTimes[0], received.channelTimes[1]) << "one stream arrives at one time";
    EXPECT_LE(received.channelTimes[1], received.channelTimes[2]);
    ASSERT_EQ(1u, received.refused.size());
    EXPECT_NE(std::string::npos, received.refused[0].find("not a voice bulk message"));

    Config scripted;
    scripted.reply = Of({0xF0, 0x01, 0xF7});
    VirtualEX5 odd(scripted);
    EXPECT_EQ(std::vector<Bytes>{Of({0xF0, 0x01, 0xF7})}, odd.Receive(Of({0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7})));
}

// Auditioning and sending for hours must not make the instrument grow.
TEST(VirtualEX5Test, KeepsOnlyTheLatestOfWhatItReceived)
{
    VirtualEX5 ex5(Config{});
    for (std::size_t i = 0; i < kReceivedKept + 2; ++i) {
        const auto note = static_cast<int>(i & 0x7F);
        ex5.Receive(Of({0x90, note, 64, 0xF0, 0x43, 0x00, 0xF7, 0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7}));
    }
    const Received received = ex5.GetReceived();
    ASSERT_EQ(kReceivedKept, received.channelMessages.size());
    ASSERT_EQ(kReceivedKept, received.refused.size());
    EXPECT_EQ(Of({0x90, static_cast<int>((kReceivedKept + 1) & 0x7F), 64}), received.channelMessages.back());
    EXPECT_EQ(Of({0x90, 2, 64}), received.channelMessages.front());
    EXPECT_EQ(kReceivedKept + 2, received.identityReplies);
}

}  // namespace
