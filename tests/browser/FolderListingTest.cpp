#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "browser/FolderListing.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// The folder as the browser names it: its path ending in a separator.
std::string Listed(const fs::path& folder)
{
#ifdef _WIN32
    std::string path = folder.string();
    if (path.back() != '\\') {
        path += '\\';
    }
    return path;
#else
    return folder.string() + "/";
#endif
}

// What the tree and the file list show of a folder, through the system's
// own search: folders apart from files, voice files by their extensions in
// any letter case, each in the order shown.
TEST(FolderListingTest, ShowsSubfoldersAndVoiceFilesOfAFolder)
{
    const TempDir dir;
    for (const char* folder : {"VOICES", "banks", "Old.s1v"}) {
        fs::create_directory(dir.Path() / folder);
    }
    for (const char* file : {"b.s1v", "A.S1A", "c.s1y", "notes.txt", "s1v"}) {
        std::ofstream(dir.Path() / file) << "x";
    }
    const std::string folder = Listed(dir.Path());
    EXPECT_EQ((std::vector<std::string>{"banks", "Old.s1v", "Voices"}), browser::ShownSubfolders(folder));
    EXPECT_EQ((std::vector<std::string>{"A.S1A", "b.s1v", "c.s1y", "Old.s1v"}), browser::ShownVoiceFiles(folder));
    EXPECT_EQ("", browser::ListingProblem(folder));
}

TEST(FolderListingTest, AnEmptyFolderHasNoProblemAndAMissingOneIsNotThere)
{
    const TempDir dir;
    EXPECT_TRUE(browser::ShownSubfolders(Listed(dir.Path())).empty());
    EXPECT_TRUE(browser::ShownVoiceFiles(Listed(dir.Path())).empty());
    EXPECT_EQ("", browser::ListingProblem(Listed(dir.Path())));
    EXPECT_EQ("is not there any more", browser::ListingProblem(Listed(dir.Path() / "gone")));
    EXPECT_TRUE(browser::ShownVoiceFiles(Listed(dir.Path() / "gone")).empty());
}

}  // namespace
