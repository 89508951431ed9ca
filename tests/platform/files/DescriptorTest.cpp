#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/WinTypes.h"
#else
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/files/Descriptor.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform::files;

std::string Write(const TempDir& dir, const std::string& name, const std::string& bytes)
{
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The readers of the registry, the drive table and the mount table share one
// whole read: a file of up to `limit` bytes whatever pieces it comes in, and
// nothing of a longer one.
TEST(DescriptorTest, AWholeReadTakesUpToItsLimitAndNothingOfALongerFile)
{
    const TempDir dir;
    // Over one piece of the read, ending on a piece's edge and beyond it.
    for (const std::size_t size : {std::size_t{0}, std::size_t{16384}, std::size_t{40000}}) {
        const std::string bytes(size, 'x');
        const Descriptor file = OpenForReading(Write(dir, "f", bytes));
        ASSERT_TRUE(file);
        std::string text = "old";
        EXPECT_EQ(WholeRead::Read, ReadAll(file.Get(), text, size)) << size;
        EXPECT_EQ(bytes, text) << size;
    }
    const Descriptor longer = OpenForReading(Write(dir, "g", std::string(40001, 'y')));
    std::string text;
    EXPECT_EQ(WholeRead::TooBig, ReadAll(longer.Get(), text, 40000));
    EXPECT_TRUE(text.empty());
}

TEST(DescriptorTest, AReadToAFixedSizeSaysWhereTheFileEndedAndASeekMovesIt)
{
    const TempDir dir;
    const Descriptor file = OpenForReading(Write(dir, "f", "abcdef"));
    ASSERT_TRUE(file);
    ASSERT_TRUE(SeekTo(file.Get(), 2));
    EXPECT_EQ(std::optional<std::uint64_t>(2), PositionOf(file.Get()));
    char data[8] = {};
    EXPECT_EQ(std::optional<std::size_t>(4), ReadUpTo(file.Get(), data, sizeof data));
    EXPECT_STREQ("cdef", data);
}

// The bytes come as they are on disk: no line ends are rewritten, and a
// Ctrl-Z does not end the file, as the C runtime's text mode would have it.
TEST(DescriptorTest, ReadsBytesAsTheyAre)
{
    const TempDir dir;
    const std::string bytes("a\r\nb\nc\x1a" "d", 8);
    const Descriptor file = OpenForReading(Write(dir, "f", bytes));
    std::string text;
    EXPECT_EQ(WholeRead::Read, ReadAll(file.Get(), text, bytes.size()));
    EXPECT_EQ(bytes, text);
}

// A FIFO or a device named like a file must not hang its reader: it opens
// at once and shows what it is, as a folder does; failures are in the
// system's words.
TEST(DescriptorTest, OpensWithoutWaitingAndTellsTheKind)
{
    const TempDir dir;
#ifdef _WIN32
    const std::string device = "NUL";
    const int notFound = ERROR_FILE_NOT_FOUND;
    const std::string notFoundWords = std::system_category().message(notFound);
#else
    const std::string device = dir.File("pipe");
    ASSERT_EQ(0, ::mkfifo(device.c_str(), 0600));
    const int notFound = ENOENT;
    const std::string notFoundWords = std::strerror(ENOENT);
#endif
    const Descriptor opened = OpenForReading(device);
    ASSERT_TRUE(opened);
    EXPECT_EQ(FileKind::Other, KindOf(opened.Get()));
    EXPECT_EQ(FileKind::Folder, KindOf(OpenForReading(dir.Path().string()).Get()));
    EXPECT_EQ(FileKind::Regular, KindOf(OpenForReading(Write(dir, "f", "x")).Get()));

    const Descriptor missing = OpenForReading(dir.File("none"));
    EXPECT_FALSE(missing);
    EXPECT_EQ(notFound, missing.Error());
    EXPECT_EQ(notFoundWords, ReadProblem(dir.File("none")));
    EXPECT_EQ(notFoundWords, WriteProblem(dir.Path() / "none"));
    EXPECT_EQ("", ReadProblem(device));
    EXPECT_EQ("", WriteProblem(dir.Path()));
    EXPECT_EQ("", WriteProblem(dir.File("f")));
}

#ifdef _WIN32
// A file another program holds to itself cannot be read now, nor written.
TEST(DescriptorTest, AFileHeldByAnotherProgramIsAProblemToReadAndWrite)
{
    const TempDir dir;
    const std::string path = Write(dir, "held", "x");
    const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const std::string sharing = std::system_category().message(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(sharing, ReadProblem(path));
    EXPECT_EQ(sharing, WriteProblem(path));
    CloseHandle(held);
    EXPECT_EQ("", ReadProblem(path));
}
#endif

}  // namespace
