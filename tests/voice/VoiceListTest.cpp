#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "tests/support/VoiceFileBuilder.h"
#include "voice/VoiceList.h"

namespace {

std::string Code(const std::string& line) { return line.substr(0, 2); }

}  // namespace

TEST(VoiceListLineTest, ShowsCodeBankNumberAndName)
{
    VoiceFileBuilder b;
    b.Voice(0, "First", 0).Voice(1, "Kit", 17).Voice(127, "Edge", 1).Voice(128, "Next", 22)
        .Voice(255, "Last", 21).Voice(9, "Signed", 200);
    const std::uint8_t nulAt5[12] = {'A', 'b', 'c', 'd', 'e', 0, 'X', 'Y', 'Z', 'W', 'V', 'U'};
    const std::uint8_t full[12] = {'T', 'w', 'e', 'l', 'v', 'e', 'C', 'h', 'a', 'r', 's', '!'};
    b.RawName(10, nulAt5).RawName(11, full);

    EXPECT_EQ("xx\tI1-001\tFirst       ", VoiceListLine(b.Image(), 0));
    EXPECT_EQ("Dr\tI1-002\tKit         ", VoiceListLine(b.Image(), 1));
    EXPECT_EQ("Pf\tI1-128\tEdge        ", VoiceListLine(b.Image(), 127));
    EXPECT_EQ("Sq\tI2-001\tNext        ", VoiceListLine(b.Image(), 128));
    EXPECT_EQ("Wv\tI2-128\tLast        ", VoiceListLine(b.Image(), 255));
    EXPECT_EQ("xx\tI1-010\tSigned      ", VoiceListLine(b.Image(), 9)) << "category byte 200 is negative";
    EXPECT_EQ("xx\tI1-011\tAbcde", VoiceListLine(b.Image(), 10));
    EXPECT_EQ("xx\tI1-012\tTwelveChars!", VoiceListLine(b.Image(), 11));
}

struct LineCase {
    const char* line;
    int voice;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.voice; }

class VoiceOfLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(VoiceOfLineTest, LeadsBackToTheVoice)
{
    EXPECT_EQ(GetParam().voice, VoiceOfLine(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(Lines, VoiceOfLineTest,
                         ::testing::Values(LineCase{"Pf\tI2-005\tx", 132}, LineCase{"xx\tI1-001\t", 0},
                                           LineCase{"Wv\tI2-128\tLast", 255}, LineCase{"Wv\tI1-128", 127},
                                           LineCase{"Pf\tI1-000\tx", -1}, LineCase{"Pf\tI1-0a1\tx", -1},
                                           LineCase{"Pf\tI1-00", -1}, LineCase{"", -1}));

TEST(VoiceListLineTest, EveryVoiceLineLeadsBackToItsVoice)
{
    const VoiceFileBuilder demo = DemoBank();
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(v, VoiceOfLine(VoiceListLine(demo.Image(), v)));
    }
}

TEST(FillVoiceListTest, InitVoicesAreHiddenUnlessShownAndMatchedWithCase)
{
    VoiceFileBuilder b;
    for (int v = 0; v < 256; ++v) {
        b.Voice(v, "Plain", 1);
    }
    b.Voice(3, "Init Voice  ", 0).Voice(4, "init voice", 0).Voice(200, "Init Voice", 2);

    MemoryVoiceList hidden;
    FillVoiceList(hidden, b.Image(), false);
    EXPECT_EQ(254, hidden.Count());
    EXPECT_EQ("xx\tI1-005\tinit voice  ", hidden.LineText(3));

    MemoryVoiceList shown;
    FillVoiceList(shown, b.Image(), true);
    EXPECT_EQ(256, shown.Count());
    EXPECT_EQ("xx\tI1-004\tInit Voice  ", shown.LineText(3));
}

TEST(FillVoiceListTest, CategoryOrderGroupsByCodeThenBankThenNumber)
{
    const VoiceFileBuilder demo = DemoBank();
    MemoryVoiceList sorted(true);
    FillVoiceList(sorted, demo.Image(), false);

    std::vector<std::string> codes;
    for (const std::string& line : sorted.Lines()) {
        if (codes.empty() || codes.back() != Code(line)) {
            codes.push_back(Code(line));
        }
    }
    const std::vector<std::string> expected = {"Ba", "Br", "Co", "Cp", "Dr", "En", "Et", "Fx",
                                               "Gt", "Ld", "Or", "Pc", "Pd", "Pf", "Pi", "Rd",
                                               "Sc", "Se", "Sq", "St", "Vo", "Wv", "xx"};
    EXPECT_EQ(expected, codes);
    EXPECT_TRUE(std::is_sorted(sorted.Lines().begin(), sorted.Lines().end(), VoiceLineLess));
}

TEST(FillVoiceListTest, WithinACategoryTheFirstBankComesFirst)
{
    VoiceFileBuilder b;
    b.Voice(128, "Later", 5).Voice(127, "Earlier", 5).Voice(0, "First", 5);
    MemoryVoiceList sorted(true);
    FillVoiceList(sorted, b.Image(), true);
    const auto& lines = sorted.Lines();
    const auto at = [&](const char* tag) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.find(tag) != std::string::npos; }) - lines.begin();
    };
    EXPECT_LT(at("I1-001"), at("I1-128"));
    EXPECT_LT(at("I1-128"), at("I2-001"));
}

TEST(FillVoiceListTest, TogglingSortAndInitsKeepsEveryLineOnce)
{
    const VoiceFileBuilder demo = DemoBank();
    MemoryVoiceList list;
    FillVoiceList(list, demo.Image(), false);
    const std::vector<std::string> voiceOrder = list.Lines();

    // "Cat Order" on: the same lines, re-sorted.
    list.SetSorted(true);
    EXPECT_EQ(voiceOrder.size(), list.Lines().size());
    // "Show Inits" on while sorted: refill adds the inits in sorted position.
    list.Clear();
    FillVoiceList(list, demo.Image(), true);
    EXPECT_EQ(256, list.Count());
    EXPECT_TRUE(std::is_sorted(list.Lines().begin(), list.Lines().end(), VoiceLineLess));
    // "Cat Order" off: refilled in voice order.
    list.SetSorted(false);
    list.Clear();
    FillVoiceList(list, demo.Image(), false);
    EXPECT_EQ(voiceOrder, list.Lines());
}
