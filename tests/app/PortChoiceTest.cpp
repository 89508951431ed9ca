#include <gtest/gtest.h>

#include "app/PortChoice.h"

namespace {

struct ChoiceCase {
    const char* what;
    std::vector<std::string> lines;
    StoredPort stored;
    std::int32_t chosen;
};

class PortChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

const std::vector<std::string> kLines = {"Midi Through:Midi Through Port-0 14:0", "HW:out 24:0", "HW:out 28:0",
                                         "system:playback", "Sonderik virtual EX5 (built in)"};

}  // namespace

TEST_P(PortChoiceTest, ChoosesTheStoredPortAndNeverAnother)
{
    EXPECT_EQ(GetParam().chosen, ChoosePort(GetParam().lines, GetParam().stored)) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Rule, PortChoiceTest,
    ::testing::Values(
        ChoiceCase{"no name: the line", kLines, {3, ""}, 3},
        ChoiceCase{"no name, line beyond the list", kLines, {5, ""}, -1},
        ChoiceCase{"no name, no line", kLines, {-1, ""}, -1},
        ChoiceCase{"the name at another line", kLines, {0, "Sonderik virtual EX5 (built in)"}, 4},
        ChoiceCase{"the name wins over the line", kLines, {4, "system:playback"}, 3},
        ChoiceCase{"two candidates: the stored line", kLines, {2, "HW:out"}, 2},
        ChoiceCase{"a new ALSA address", kLines, {0, "Midi Through:Midi Through Port-0 15:0"}, 0},
        ChoiceCase{"a new address, two candidates: the stored line", kLines, {2, "HW:out 30:0"}, 2},
        ChoiceCase{"a new address, stored line elsewhere: the first", kLines, {4, "HW:out 30:0"}, 1},
        ChoiceCase{"exact before loose", kLines, {1, "HW:out 28:0"}, 2},
        ChoiceCase{"gone: none, not its neighbour", kLines, {1, "Gone:out 24:0"}, -1},
        ChoiceCase{"only the address differs from a name without one", {"HW:out"}, {0, "HW:out 24:0"}, 0},
        ChoiceCase{"not an address: kept", {"Synth 2"}, {0, "Synth 3"}, -1},
        ChoiceCase{"empty list", {}, {0, "HW:out 24:0"}, -1}));

TEST(PortChoiceNameTest, LeavesOffOnlyATrailingClientPortPair)
{
    EXPECT_EQ("HW:out", WithoutAlsaAddress("HW:out 24:0"));
    EXPECT_EQ("HW:out 24", WithoutAlsaAddress("HW:out 24"));
    EXPECT_EQ("HW 24:0 x", WithoutAlsaAddress("HW 24:0 x"));
    EXPECT_EQ("HW :0", WithoutAlsaAddress("HW :0"));
    EXPECT_EQ("system:playback", WithoutAlsaAddress("system:playback"));
}
