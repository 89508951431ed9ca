#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "platform/files/WinFiles.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"

namespace {

struct WindowsPathCase {
    const char* text;
    bool windows;
};

void PrintTo(const WindowsPathCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IsWindowsPathTest : public ::testing::TestWithParam<WindowsPathCase> {};

TEST_P(IsWindowsPathTest, OnlyADriveOrTwoBackslashesMakeOne)
{
    EXPECT_EQ(GetParam().windows, platform::IsWindowsPath(GetParam().text)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, IsWindowsPathTest,
                         ::testing::Values(WindowsPathCase{"C:\\", true}, WindowsPathCase{"c:\\Music", true},
                                           WindowsPathCase{"Z:", true}, WindowsPathCase{"\\\\box\\share", true},
                                           WindowsPathCase{"/home/a\\b", false}, WindowsPathCase{"a\\b", false},
                                           WindowsPathCase{"\\single", false}, WindowsPathCase{"C:x", false},
                                           WindowsPathCase{"1:\\", false}, WindowsPathCase{"", false}));

// C: is a folder of the test's own with some case-tangled names in it.
class PathTest : public ::testing::Test {
protected:
    PathTest() : drives_("SONDERIK_DRIVES", "C=" + world_.Folder("c").string())
    {
        world_.Folder("c/Music/EX5");
        world_.Folder("c/Music/ex5");
        world_.Folder("c/Music/eX5");
        world_.Folder("c/Music/Ex5");   // bytes: "EX5" < "Ex5" < "eX5" < "ex5"
        world_.Folder("c/VOICES/Bank");
        std::ofstream(world_.Root() / "c" / "VOICES" / "Bank" / "a\\b.s1v") << "x";
        std::ofstream(world_.Root() / "c" / "VOICES" / "Bank" / "\xe9t\xe9.S1V") << "latin-1";
    }

    std::string C(const std::string& relative) const { return (world_.Root() / "c" / relative).string(); }

    FileWorld world_;
    ScopedEnv drives_;
};

TEST_F(PathTest, AnExactNameWinsElseTheFirstInByteOrderIgnoringCase)
{
    EXPECT_EQ(C("Music/ex5"), platform::ResolveWindowsPath("C:\\Music\\ex5").value_or(""));
    EXPECT_EQ(C("Music/Ex5"), platform::ResolveWindowsPath("C:\\music\\Ex5\\").value_or(""));
    std::filesystem::remove(C("Music/Ex5"));
    EXPECT_EQ(C("Music/EX5"), platform::ResolveWindowsPath("c:\\MUSIC\\Ex5").value_or(""));
    std::filesystem::remove(C("Music/EX5"));
    EXPECT_EQ(C("Music/eX5"), platform::ResolveWindowsPath("c:\\MUSIC\\Ex5").value_or(""));
    EXPECT_EQ(C("VOICES/Bank"), platform::ResolveWindowsPath("C:\\Voices\\bank").value_or(""));
}

TEST_F(PathTest, NamesAreBytesAndABackslashInANameCannotBeNamed)
{
    EXPECT_EQ(C("VOICES/Bank/\xe9t\xe9.S1V"), platform::ResolveWindowsPath("C:\\Voices\\Bank\\\xe9t\xe9.s1v").value_or(""));
    EXPECT_FALSE(platform::ResolveWindowsPath("C:\\Voices\\Bank\\\xc9T\xc9.S1V"));  // Latin-1 letters are not folded
    EXPECT_FALSE(platform::ResolveWindowsPath("C:\\Voices\\Bank\\a\\b.s1v"));
}

TEST_F(PathTest, DotDotNeverClimbsAboveTheDrive)
{
    EXPECT_EQ(C("Music"), platform::ResolveWindowsPath("C:\\Voices\\..\\Music").value_or(""));
    EXPECT_EQ(C("Music"), platform::ResolveWindowsPath("C:\\..\\..\\.\\Music").value_or(""));
    EXPECT_EQ(C(""), platform::ResolveWindowsPath("C:\\..").value_or("") + "/");
    EXPECT_EQ(C("Music/EX5"), platform::ResolveWindowsPath("C:\\Music\\\\EX5").value_or(""));
}

struct MissingCase {
    const char* path;
    LONG error;
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << '"' << c.path << '"'; }

class MissingPathTest : public PathTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingPathTest, IsNotFound)
{
    EXPECT_FALSE(platform::ResolveWindowsPath(GetParam().path)) << GetParam().path;
    EXPECT_EQ(static_cast<DWORD>(GetParam().error), GetLastError()) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Paths, MissingPathTest,
                         ::testing::Values(MissingCase{"C:\\Music\\gone.s1v", ERROR_FILE_NOT_FOUND},
                                           MissingCase{"C:\\Gone\\EX5", ERROR_PATH_NOT_FOUND},
                                           MissingCase{"C:\\Music\\Gone\\", ERROR_PATH_NOT_FOUND},
                                           MissingCase{"D:\\", ERROR_PATH_NOT_FOUND},
                                           MissingCase{"\\\\nobody\\share\\x", ERROR_BAD_NETPATH},
                                           MissingCase{"\\\\nobody", ERROR_BAD_NETPATH},
                                           MissingCase{"/not/windows", ERROR_INVALID_NAME}));

TEST_F(PathTest, AnythingElseIsAPathOfThisSystem)
{
    EXPECT_EQ("/a\\b/c", platform::ToLocalPath("/a\\b/c").value_or(""));
    EXPECT_EQ(C("Music"), platform::ToLocalPath("C:\\MUSIC").value_or(""));
}

TEST(SharePathTest, LeadsToWhereTheShareIsMounted)
{
    FileWorld world;
    const std::filesystem::path cifs = world.Folder("cifs");
    const std::filesystem::path nfs = world.Folder("nfs");
    world.Folder("cifs/Sub/Deep");
    const std::filesystem::path gvfs = world.Gvfs() / "smb-share:server=studio,share=my%20voices,user=me";
    std::filesystem::create_directories(gvfs / "Bank");
    world.Mounts({FileWorld::Mount(cifs.string(), "cifs", "//BOX/Voices"),
                  FileWorld::Mount(nfs.string(), "nfs4", "store:/export/banks")});

    EXPECT_EQ((cifs / "Sub/Deep").string(), platform::ResolveWindowsPath("\\\\box\\VOICES\\sub\\deep").value_or(""));
    EXPECT_EQ(cifs.string(), platform::ResolveWindowsPath("\\\\BOX\\Voices\\Sub\\..\\..\\..").value_or(""));
    EXPECT_EQ(nfs.string(), platform::ResolveWindowsPath("\\\\store\\banks\\").value_or(""));
    EXPECT_EQ((gvfs / "Bank").string(), platform::ResolveWindowsPath("\\\\STUDIO\\My Voices\\bank").value_or(""));
}

}  // namespace
