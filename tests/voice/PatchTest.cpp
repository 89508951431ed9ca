#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <numeric>
#include <vector>

#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

// Undoes the seven-into-eight packing, for checking what was packed.
std::vector<std::uint8_t> Unpack(const std::uint8_t* data, std::size_t length)
{
    std::vector<std::uint8_t> out;
    for (std::size_t g = 0; g + 8 <= length; g += 8) {
        for (unsigned k = 0; k < 7; ++k) {
            out.push_back(static_cast<std::uint8_t>(data[g + k] | (((data[g + 7] >> k) & 1) << 7)));
        }
    }
    return out;
}

std::unique_ptr<EX5Patch> Loaded(const VoiceFileBuilder& b, int voice)
{
    auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
    EXPECT_TRUE(LoadVoice(*patch, VoiceListLine(b.Image(), voice), b.Image()));
    return patch;
}

}  // namespace

TEST(ChecksumTest, MakesTheSumAMultipleOf128)
{
    const EX5Parser parser;
    const std::uint8_t zero[] = {0, 0};
    const std::uint8_t some[] = {0x03, 0x28, 0x40, 0x7F, 0x11};
    const std::uint8_t full[] = {0x80};
    EXPECT_EQ(0, parser.Checksum(zero, 2));
    EXPECT_EQ(0, parser.Checksum(full, 1));
    const unsigned sum = std::accumulate(std::begin(some), std::end(some), 0u);
    EXPECT_EQ(0u, (sum + parser.Checksum(some, sizeof some)) % 128);
}

TEST(EX5PatchTest, NameIsTrimmedAndCleanedAndCategoryLookedUp)
{
    const EX5Patch patch("  Init\aVoice ", 17);
    EXPECT_STREQ("Init Voice", patch.GetName());
    EXPECT_STREQ("Dr", patch.GetCategoryCode());
    EXPECT_STREQ("Drums", patch.GetCategoryName());
    const EX5Patch beyond("x", 23);
    EXPECT_STREQ("--", beyond.GetCategoryCode());
    EXPECT_STREQ("No Assign", beyond.GetCategoryName());
    EXPECT_STREQ("", EX5Patch("   ", 0).GetName());
}

struct LengthCase {
    std::vector<std::uint8_t> positions;
    std::uint32_t elements;
    std::uint8_t countHigh;
    std::uint8_t countLow;
    std::size_t length;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.elements << " elements"; }

class AssembleTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(AssembleTest, BuildsTheWholeMessageForEachElementCount)
{
    const LengthCase& c = GetParam();
    VoiceFileBuilder b;
    b.Voice(7, "Voice", 4).CommonPattern(7, 5);
    std::vector<std::uint8_t> expected(b.Image().begin() + static_cast<std::ptrdiff_t>(bank::kCommonOffset + 7 * bank::kCommonSize),
                                       b.Image().begin() + static_cast<std::ptrdiff_t>(bank::kCommonOffset + 8 * bank::kCommonSize));
    for (std::uint8_t p : c.positions) {
        b.Element(7, p, static_cast<std::uint8_t>(40 + p));
    }
    for (std::uint8_t p = 0; p < 4; ++p) {
        if (std::find(c.positions.begin(), c.positions.end(), p) != c.positions.end()) {
            const auto bytes = VoiceFileBuilder::ElementPattern(static_cast<std::uint8_t>(40 + p));
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        }
    }

    auto patch = Loaded(b, 7);
    const std::uint8_t* m = patch->Assemble();
    ASSERT_EQ(c.length, patch->GetMessageLength());
    EXPECT_EQ(c.length, VoiceMessageLength(patch->GetElementCount()));
    EXPECT_EQ(c.elements, patch->GetElementCount());
    const std::vector<std::uint8_t> head(m, m + 9);
    EXPECT_EQ((std::vector<std::uint8_t>{0xF0, 0x43, 0x00, 0x5B, c.countHigh, c.countLow, 0x40, 0x00, 0x00}), head);
    EXPECT_EQ(0xF7, m[c.length - 1]);

    const std::size_t packed = c.length - 11;
    for (std::size_t i = 1; i < c.length - 1; ++i) {
        EXPECT_LT(m[i], 0x80) << "byte " << i << " is not a MIDI data byte";
    }
    unsigned sum = 0;
    for (std::size_t i = 4; i < 9 + packed + 1; ++i) {
        sum += m[i];
    }
    EXPECT_EQ(0u, sum % 128) << "checksum";

    std::vector<std::uint8_t> unpacked = Unpack(m + 9, packed);
    ASSERT_GE(unpacked.size(), expected.size());
    EXPECT_TRUE(std::all_of(unpacked.begin() + static_cast<std::ptrdiff_t>(expected.size()), unpacked.end(),
                            [](std::uint8_t x) { return x == 0; }))
        << "the last group is completed with zeros";
    unpacked.resize(expected.size());
    EXPECT_EQ(expected, unpacked);
}

INSTANTIATE_TEST_SUITE_P(ElementCounts, AssembleTest,
                         ::testing::Values(LengthCase{{0}, 1, 0x03, 0x28, 435},
                                           LengthCase{{0, 2}, 2, 0x04, 0x40, 587},
                                           LengthCase{{3, 1, 0}, 3, 0x05, 0x58, 739},
                                           LengthCase{{0, 1, 2, 3}, 4, 0x06, 0x70, 891}));

TEST(AssembleTest, HighBitsGoToTheGroupsExtraByte)
{
    VoiceFileBuilder b;
    b.Voice(0, "Hi", 1).CommonByte(0, 0, 0x85).Element(0, 0, 1);
    auto patch = Loaded(b, 0);
    const std::uint8_t* m = patch->Assemble();
    EXPECT_EQ(0x05, m[9]);
    EXPECT_EQ(0x01, m[16] & 0x01);
    const std::uint8_t* again = patch->Assemble();
    EXPECT_EQ(435u, patch->GetMessageLength()) << "assembling twice rebuilds the same message";
    EXPECT_EQ(m, again);
}

TEST(LoadVoiceTest, ElementTableRules)
{
    VoiceFileBuilder b;
    b.Voice(4, "Table", 2);
    b.Element(4, 0, 10);
    b.Element(4, 1, 11);
    b.Element(4, 1, 12);                                       // the later entry wins
    b.TableEntry(900, 4, 0x80);                                // free: no element
    b.TableEntry(901, 4, 4);                                   // no fifth element
    b.TableEntry(902, 4, 0x7F);
    const int marked = b.Element(4, 3, 13);
    b.ElementByte(marked, 0, 0xFF);                            // stored first byte 0xFF: absent

    auto patch = Loaded(b, 4);
    EXPECT_TRUE(patch->HasElement(0));
    EXPECT_TRUE(patch->HasElement(1));
    EXPECT_FALSE(patch->HasElement(2));
    EXPECT_FALSE(patch->HasElement(3));
    EXPECT_EQ(VoiceFileBuilder::ElementPattern(12),
              std::vector<std::uint8_t>(patch->elements[1].begin(), patch->elements[1].end()));
    patch->Assemble();
    EXPECT_EQ(2u, patch->GetElementCount());
    EXPECT_EQ(587u, patch->GetMessageLength());
}

TEST(LoadVoiceTest, RefusesLinesThatNameNoVoiceAndVoicesWithoutElements)
{
    VoiceFileBuilder b;
    b.Voice(0, "Empty", 1).Voice(1, "Full", 1).Element(1, 0, 1);
    EX5Patch patch("AssemblPatch", 0);
    EXPECT_FALSE(LoadVoice(patch, VoiceListLine(b.Image(), 0), b.Image()));
    EXPECT_FALSE(LoadVoice(patch, "Pf\tI2-200\tBogus", b.Image()));
    EXPECT_FALSE(LoadVoice(patch, "junk", b.Image()));
    EXPECT_TRUE(LoadVoice(patch, VoiceListLine(b.Image(), 1), b.Image()));

    // And says which check failed.
    std::string why;
    EXPECT_FALSE(LoadVoice(patch, VoiceListLine(b.Image(), 0), b.Image(), why));
    EXPECT_EQ("voice 0 has no element present in the file", why);
    EXPECT_FALSE(LoadVoice(patch, "junk", b.Image(), why));
    EXPECT_EQ("the list line names no voice 0 to 255", why);
}

TEST(LoadVoiceTest, DrumLinesAreRecognisedByTheirCode)
{
    EXPECT_TRUE(IsDrumLine("Dr\tI1-001\tKit"));
    EXPECT_FALSE(IsDrumLine("dr\tI1-001\tKit"));
    EXPECT_FALSE(IsDrumLine("xx\tI1-001\tKit"));
    EXPECT_FALSE(IsDrumLine("D"));
}

TEST(PatchTest, DescribeWritesTheName)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(nullptr, f);
    EX5Patch(" Pad ", 12).Describe(f);
    std::rewind(f);
    char text[32] = {};
    EXPECT_EQ(11u, std::fread(text, 1, sizeof text, f));
    EXPECT_STREQ("Name Pad \r\n", text);
    std::fclose(f);
}
