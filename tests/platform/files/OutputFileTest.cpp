#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/WinTypes.h"
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/files/OutputFile.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

std::string Contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Write(const std::string& path, const std::string& bytes)
{
    return WriteOutputFile(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A new name and an existing file both end up holding exactly the bytes
// written, and the temporary file they went through is gone.
TEST(OutputFileTest, AFileIsReplacedWholeAndNothingIsLeftBesideIt)
{
    const TempDir dir;
    const std::string path = dir.File("out.syx");
    const std::string bytes("\xf0\x43\n\r\n\x1a\xf7", 7);
    EXPECT_EQ("", Write(path, bytes));
    EXPECT_EQ(bytes, Contents(path));
    std::ofstream(path, std::ios::binary) << std::string(100, 'o');
    EXPECT_EQ("", Write(path, "new"));
    EXPECT_EQ("new", Contents(path));
    EXPECT_EQ("", Write(path, ""));
    EXPECT_EQ("", Contents(path));
    EXPECT_EQ(std::vector<std::string>{"out.syx"}, Names(dir.Path()));
}

TEST(OutputFileTest, ADeviceIsWrittenInPlaceAndAFolderOrAMissingFolderIsRefused)
{
    const TempDir dir;
    EXPECT_EQ("", Write(kNullDevice, "into nothing"));
    EXPECT_EQ("it is a folder", Write(dir.Path().string(), "x"));
    EXPECT_NE("", Write((dir.Path() / "no" / "such.syx").string(), "x"));
    EXPECT_TRUE(fs::is_directory(dir.Path()));
    EXPECT_TRUE(Names(dir.Path()).empty());
}

TEST(OutputFileTest, SameFileFollowsEveryNameOfAFile)
{
    const TempDir dir;
    const std::string one = dir.File("one");
    const std::string other = dir.File("other");
    std::ofstream(one) << "1";
    std::ofstream(other) << "2";
    fs::create_hard_link(one, dir.File("also-one"));
    EXPECT_TRUE(SameFile(one, one));
    EXPECT_TRUE(SameFile(one, dir.File("also-one")));
    EXPECT_FALSE(SameFile(one, other));
    EXPECT_FALSE(SameFile(one, dir.File("missing")));
}

#ifdef _WIN32
// When the file cannot be replaced, it is left as it was, and so is its folder.
TEST(OutputFileTest, AFileThatCannotBeReplacedIsLeftAsItWas)
{
    const TempDir dir;
    const std::string readOnly = dir.File("read-only.syx");
    std::ofstream(readOnly) << "kept";
    ASSERT_NE(FALSE, SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE("", Write(readOnly, "lost"));
    EXPECT_EQ("kept", Contents(readOnly));
    ASSERT_NE(FALSE, SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL));

    // A reader that lets others write but not rename over it.
    const std::string held = dir.File("held.syx");
    std::ofstream(held) << "kept";
    const HANDLE reader = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_NE("", Write(held, "lost"));
    CloseHandle(reader);
    EXPECT_EQ("kept", Contents(held));
    EXPECT_EQ((std::vector<std::string>{"held.syx", "read-only.syx"}), Names(dir.Path()));
}

TEST(OutputFileTest, AReplacedFileKeepsBeingHidden)
{
    const TempDir dir;
    const std::string path = dir.File("hidden.syx");
    std::ofstream(path) << "old";
    ASSERT_NE(FALSE, SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ("", Write(path, "new"));
    EXPECT_EQ("new", Contents(path));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_HIDDEN);
}
#endif

}  // namespace
