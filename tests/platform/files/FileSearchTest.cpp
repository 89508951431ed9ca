#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/files/WinFiles.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"

namespace {

struct Found {
    std::string name;
    DWORD attributes;
};

// Every entry a search reports, in its order; the error when it fails.
std::vector<Found> SearchAll(const std::string& pattern, DWORD* error = nullptr)
{
    std::vector<Found> found;
    WIN32_FIND_DATAA data{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            *error = GetLastError();
        }
        return found;
    }
    do {
        found.push_back(Found{data.cFileName, data.dwFileAttributes});
    } while (FindNextFileA(search, &data) != FALSE);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_NE(FALSE, FindClose(search));
    return found;
}

std::vector<std::string> Names(const std::vector<Found>& found, bool sorted = true)
{
    std::vector<std::string> names;
    for (const Found& entry : found) {
        names.push_back(entry.name);
    }
    if (sorted) {
        std::sort(names.begin(), names.end());
    }
    return names;
}

class FileSearchTest : public ::testing::Test {
protected:
    FileSearchTest() : drives_("SONDERIK_DRIVES", "C=" + world_.Folder("c").string())
    {
        for (const char* name : {"alpha.s1y", "BETA.S1V", "gamma.s1a", "notes.txt", "README", ".hidden.s1v",
                                 "two.dots.s1v", "s1v", "a\\b.s1v"}) {
            std::ofstream(Path(name)) << "data";
        }
        world_.Folder("c/VOICES");
        world_.Folder("c/bank.s1a");
    }
    std::filesystem::path Path(const std::string& name) const { return world_.Root() / "c" / name; }

    FileWorld world_;
    ScopedEnv drives_;
};

struct PatternCase {
    const char* pattern;
    std::vector<std::string> names;
};

void PrintTo(const PatternCase& c, std::ostream* os) { *os << '"' << c.pattern << '"'; }

class WildcardTest : public FileSearchTest, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(WildcardTest, MatchesAsWindowsDoes)
{
    EXPECT_EQ(GetParam().names, Names(SearchAll(std::string("C:\\") + GetParam().pattern))) << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, WildcardTest,
    ::testing::Values(
        PatternCase{"*.s1v", {".hidden.s1v", "BETA.S1V", "two.dots.s1v"}},
        PatternCase{"*.S1A", {"bank.s1a", "gamma.s1a"}},
        PatternCase{"*.*",
                    {".hidden.s1v", "BETA.S1V", "README", "VOICES", "alpha.s1y", "bank.s1a", "gamma.s1a", "notes.txt",
                     "s1v", "two.dots.s1v"}},
        PatternCase{"?????.s1?", {"alpha.s1y", "gamma.s1a"}},
        PatternCase{"*e*", {".hidden.s1v", "BETA.S1V", "README", "VOICES", "notes.txt"}},
        PatternCase{"readme", {"README"}},
        PatternCase{"*.", {"README", "VOICES", "s1v"}},
        PatternCase{"a*a*y", {"alpha.s1y"}}));

TEST_F(FileSearchTest, AttributesTellFoldersHiddenAndReadOnlyNames)
{
    std::filesystem::create_directory_symlink(Path("VOICES"), Path("link-to-folder"));
    std::filesystem::create_symlink(Path("nowhere"), Path("dangling"));
    std::filesystem::permissions(Path("notes.txt"), std::filesystem::perms::owner_read);
    std::vector<Found> found = SearchAll("C:\\*");
    auto attributes = [&](const std::string& name) -> DWORD {
        for (const Found& entry : found) {
            if (entry.name == name) {
                return entry.attributes;
            }
        }
        ADD_FAILURE() << name << " not reported";
        return 0;
    };
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, attributes("VOICES"));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, attributes("link-to-folder"));
    EXPECT_EQ(FILE_ATTRIBUTE_HIDDEN, attributes(".hidden.s1v"));
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, attributes("README"));
    if (::geteuid() != 0) {
        EXPECT_EQ(FILE_ATTRIBUTE_READONLY, attributes("notes.txt"));
    }
    const std::vector<std::string> names = Names(found);
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "dangling"));
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "a\\b.s1v"));
}

TEST_F(FileSearchTest, DotsAreReportedFirstInAFolderButNotInADrivesRoot)
{
    std::ofstream(Path("VOICES") / "x.s1v") << "x";
    EXPECT_EQ((std::vector<std::string>{".", "..", "x.s1v"}), Names(SearchAll("C:\\voices\\*.*"), false));
    const std::vector<Found> dots = SearchAll("C:\\Voices\\*");
    ASSERT_EQ(3u, dots.size());
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, dots[0].attributes);
    EXPECT_EQ((std::vector<std::string>{"x.s1v"}), Names(SearchAll("C:\\Voices\\*.s1v")));
    const std::vector<std::string> root = Names(SearchAll("C:\\*.*"));
    EXPECT_EQ(root.end(), std::find(root.begin(), root.end(), "."));
}

struct FailureCase {
    const char* pattern;
    LONG error;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << '"' << c.pattern << '"'; }

class SearchFailureTest : public FileSearchTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SearchFailureTest, FailsAsWindowsDoes)
{
    DWORD error = 0;
    EXPECT_TRUE(SearchAll(GetParam().pattern, &error).empty());
    EXPECT_EQ(static_cast<DWORD>(GetParam().error), error) << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(Searches, SearchFailureTest,
                         ::testing::Values(FailureCase{"C:\\*.mid", ERROR_FILE_NOT_FOUND},
                                           FailureCase{"C:\\Gone\\*.*", ERROR_PATH_NOT_FOUND},
                                           FailureCase{"C:\\notes.txt\\*.*", ERROR_PATH_NOT_FOUND},
                                           FailureCase{"Q:\\*.*", ERROR_PATH_NOT_FOUND},
                                           FailureCase{"C:\\VOI*\\*.*", ERROR_INVALID_NAME},
                                           FailureCase{"C:\\VOICES\\", ERROR_FILE_NOT_FOUND}));

TEST_F(FileSearchTest, HandlesAreCheckedAndArgumentsToo)
{
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(nullptr, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    HANDLE search = FindFirstFileA("C:\\*.*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_NE(FALSE, FindClose(search));
    EXPECT_EQ(FALSE, FindNextFileA(search, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(FALSE, FindClose(search));
    EXPECT_EQ(FALSE, FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(FileSearchTest, AFifoOrDeviceInTheFolderDoesNotBlockAndAPathOfThisSystemIsSearchedToo)
{
    ASSERT_EQ(0, ::mkfifo(Path("pipe.s1v").c_str(), 0600));
    const std::vector<std::string> names = Names(SearchAll(Path("").string() + "*.s1v"));
    EXPECT_EQ((std::vector<std::string>{".hidden.s1v", "BETA.S1V", "pipe.s1v", "two.dots.s1v"}), names);
    EXPECT_EQ((std::vector<std::string>{"null"}), Names(SearchAll("/dev/nul?")));
}

TEST_F(FileSearchTest, AFolderOfTenThousandEntriesIsReportedWhole)
{
    const std::filesystem::path big = world_.Folder("c/big");
    for (int i = 0; i < 10000; ++i) {
        std::ofstream(big / ("voice" + std::to_string(i) + (i % 2 == 0 ? ".s1v" : ".S1A")));
    }
    EXPECT_EQ(5000u, SearchAll("C:\\big\\*.s1v").size());
    EXPECT_EQ(10002u, SearchAll("C:\\BIG\\*.*").size());
}

TEST_F(FileSearchTest, AFolderThatCannotBeReadIsRefused)
{
    world_.Folder("c/locked");
    std::filesystem::permissions(Path("locked"), std::filesystem::perms::none);
    // Root reads every folder, so the search runs as nobody in a child process.
    std::filesystem::permissions(world_.Root(), std::filesystem::perms::all);
    std::filesystem::permissions(world_.Root() / "c", std::filesystem::perms::all);
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && ::setuid(65534) != 0) {
                std::_Exit(2);
            }
            DWORD error = 0;
            const bool refused = SearchAll("C:\\locked\\*.*", &error).empty() && error == ERROR_ACCESS_DENIED;
            std::_Exit(refused ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FileSearchTest, AFolderRemovedPartWayEndsTheSearch)
{
    const std::filesystem::path doomed = world_.Folder("c/doomed");
    for (int i = 0; i < 10; ++i) {
        std::ofstream(doomed / ("v" + std::to_string(i) + ".s1v"));
    }
    WIN32_FIND_DATAA data{};
    HANDLE search = FindFirstFileA("C:\\doomed\\*.s1v", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    std::filesystem::remove_all(doomed);
    EXPECT_EQ(FALSE, FindNextFileA(search, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_NE(FALSE, FindClose(search));
}

}  // namespace
