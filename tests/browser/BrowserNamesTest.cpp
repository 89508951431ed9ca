#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "browser/BrowserNames.h"

namespace {

struct ShownCase {
    const char* name;
    const char* shown;
};

void PrintTo(const ShownCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class DisplayNameTest : public ::testing::TestWithParam<ShownCase> {};

TEST_P(DisplayNameTest, OnlyNamesWithoutALowerCaseLetterAreRecased)
{
    EXPECT_EQ(GetParam().shown, browser::GetDisplayName(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Names, DisplayNameTest,
                         ::testing::Values(ShownCase{"WINDOWS", "Windows"}, ShownCase{"EX5 DATA", "Ex5 data"},
                                           ShownCase{"My Voices", "My Voices"}, ShownCase{"Network", "Network"},
                                           ShownCase{"C:", "C:"}, ShownCase{"VOICES", "Voices"},
                                           ShownCase{"_BANK", "_bank"}, ShownCase{"123", "123"},
                                           ShownCase{"", ""},
                                           // Bytes above 127 are neither lower-case nor folded.
                                           ShownCase{"\xC9T\xC9", "\xC9t\xC9"}, ShownCase{"\xE9TE", "\xE9te"}));

TEST(NameOrderTest, FoldsToLowerCaseThenComparesBytes)
{
    // Folding to upper case would put A and b before [ and _.
    std::vector<std::string> names{"b", "_", "A", "[", "a", "B", "\xe9", "Z"};
    std::sort(names.begin(), names.end(), browser::ShownBefore);
    EXPECT_EQ((std::vector<std::string>{"[", "_", "A", "a", "B", "b", "Z", "\xe9"}), names);
    EXPECT_EQ(0, browser::CompareIgnoringCase("BETA.S1V", "beta.s1v"));
    EXPECT_LT(browser::CompareIgnoringCase("bank", "BANKS"), 0);
}

}  // namespace
