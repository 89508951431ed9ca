#include <gtest/gtest.h>
#ifdef _WIN32
#include "platform/WinTypes.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceFile.h"

namespace {

using Kind = VoiceFileBuilder::Kind;

// The text and line of what reading `name` in `dir` raised, or "" if nothing.
std::string ReadError(const TempDir& dir, const std::string& name, BankImage& image, int* line = nullptr)
{
    try {
        ReadVoiceBank(dir.Path().string() + "/", name, image);
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        if (line != nullptr) {
            *line = e->line;
        }
        EXPECT_STREQ("SonderikDlg", e->sourceFile);
        return e->message;
    }
    return "";
}

VoiceFileBuilder Marked(const std::string& name)
{
    VoiceFileBuilder builder;
    builder.Voice(0, name, 3).Voice(255, "Last", 5).Element(0, 0, 9);
    return builder;
}

void WriteBytes(const std::string& path, std::size_t size, char value = 'x')
{
    std::ofstream(path, std::ios::binary) << std::string(size, value);
}

}  // namespace

struct StartCase {
    const char* name;
    std::size_t start;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class BlockStartTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(BlockStartTest, ChosenByTheLowerCasedNameFromPositionTwoOn)
{
    EXPECT_EQ(GetParam().start, BankBlockStart(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Names, BlockStartTest,
                         ::testing::Values(StartCase{"voices.s1v", 0}, StartCase{"Voices.S1Y", 275116},
                                           StartCase{"bank.s1a", 275244}, StartCase{"s1a.s1v", 0},
                                           StartCase{"xs1a", 0}, StartCase{"xxs1a", 275244},
                                           StartCase{"s1a_s1y.all", 275116}, StartCase{"a", 0},
                                           StartCase{"ab", 0}, StartCase{"", 0}));

TEST(VoiceFileTest, EachKindIsReadFromItsPlace)
{
    TempDir dir;
    const struct {
        const char* name;
        Kind kind;
    } files[] = {{"one.s1v", Kind::S1v}, {"Two.S1Y", Kind::S1y}, {"three.s1a", Kind::S1a}, {"a", Kind::S1v}, {"ab", Kind::S1v}};
    for (const auto& f : files) {
        const VoiceFileBuilder builder = Marked(f.name);
        builder.Write(dir.File(f.name), f.kind, 100);
        auto image = std::make_unique<BankImage>();
        EXPECT_EQ("", ReadError(dir, f.name, *image)) << f.name;
        EXPECT_TRUE(*image == builder.Image()) << f.name;
    }
}

TEST(VoiceFileTest, AWindowsPathIsTranslatedAndItsLastComponentIsTheListedName)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "S1A" / "Bank");
    const VoiceFileBuilder builder = Marked("through");
    builder.Write((dir.Path() / "S1A" / "Bank" / "Voices.S1V").string(), Kind::S1v);
#ifdef _WIN32
    // The system's own paths, whose letter case the system itself ignores.
    std::string root = dir.Path().string();
    std::replace(root.begin(), root.end(), '/', '\\');
    if (root.back() == '\\') {
        root.pop_back();
    }
#else
    ScopedEnv drives("SONDERIK_DRIVES", "C=" + dir.Path().string());
    const std::string root = "C:";
#endif
    // The folder's "s1a" must not move the block of an .s1v file.
    auto image = std::make_unique<BankImage>();
    ReadVoiceBank(root + "\\s1a\\BANK\\", "VOICES.s1v", *image);
    EXPECT_TRUE(*image == builder.Image());
    image->fill(0);
    ReadVoiceBankFile(root + "\\S1a\\bank\\voices.s1v", *image);
    EXPECT_TRUE(*image == builder.Image());
    try {
        ReadVoiceBank(root + "\\Gone\\", "voices.s1v", *image);
        ADD_FAILURE() << "a missing folder was read";
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        EXPECT_STREQ("Cannot open input file #1", e->message);
    }
}

TEST(VoiceFileTest, AHugeFileIsReadOnlyForItsBlock)
{
    TempDir dir;
    const VoiceFileBuilder builder = Marked("huge");
    builder.Write(dir.File("huge.s1a"), Kind::S1a);
    // Make it sparse and large without writing the bytes.
    std::filesystem::resize_file(dir.File("huge.s1a"), std::uintmax_t{1} << 32);
    auto image = std::make_unique<BankImage>();
    EXPECT_EQ("", ReadError(dir, "huge.s1a", *image));
    EXPECT_TRUE(*image == builder.Image());
}

// Every refused read must leave the image of the last good file untouched.
TEST(VoiceFileTest, RefusedFilesLeaveThePreviousImageAsItWas)
{
    TempDir dir;
    const VoiceFileBuilder good = Marked("good");
    good.Write(dir.File("good.s1v"), Kind::S1v);
    auto image = std::make_unique<BankImage>();
    ASSERT_EQ("", ReadError(dir, "good.s1v", *image));

    WriteBytes(dir.File("empty.s1v"), 0);
    WriteBytes(dir.File("short.s1v"), bank::kBlockSize - 1);
    WriteBytes(dir.File("short.s1y"), bank::kS1yStart + 10);
    WriteBytes(dir.File("tiny.s1a"), 3);
    std::filesystem::create_directory(dir.File("x.s1a"));
#ifndef _WIN32
    ASSERT_EQ(0, ::mkfifo(dir.File("pipe.s1v").c_str(), 0600));
    std::filesystem::create_symlink(dir.File("gone.s1v"), dir.File("dangling.s1v"));
#endif

    const struct {
        const char* name;
        const char* message;
        int line;
    } cases[] = {
        {"empty.s1v", "Voice file ends before its voice bank is complete", 1178},
        {"short.s1v", "Voice file ends before its voice bank is complete", 1178},
        {"short.s1y", "Voice file ends before its voice bank is complete", 1178},
        {"tiny.s1a", "Voice file ends before its voice bank is complete", 1178},
        {"missing.s1v", "Cannot open input file #1", 1146},
        {"x.s1a", "Is a folder, not a voice file", 1146},
#ifndef _WIN32
        {"dangling.s1v", "Cannot open input file #1", 1146},
        {"pipe.s1v", "Is not a regular file, not a voice file", 1146},
#endif
    };
    for (const auto& c : cases) {
        int line = 0;
        EXPECT_EQ(c.message, ReadError(dir, c.name, *image, &line)) << c.name;
        EXPECT_EQ(c.line, line) << c.name;
        EXPECT_TRUE(*image == good.Image()) << c.name << " changed the image";
    }
}

TEST(VoiceFileTest, ADeviceIsRefusedWithoutBlocking)
{
    TempDir dir;
    auto image = std::make_unique<BankImage>();
    try {
#ifdef _WIN32
        ReadVoiceBank("", "NUL", *image);
#else
        ReadVoiceBank("/dev/", "zero", *image);
#endif
        FAIL() << "a device was read as a voice file";
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        EXPECT_STREQ("Is not a regular file, not a voice file", e->message);
    }
}

#ifdef _WIN32
TEST(VoiceFileTest, AFileAnotherProgramHoldsCannotBeOpened)
{
    TempDir dir;
    Marked("locked").Write(dir.File("locked.s1v"), Kind::S1v);
    const HANDLE held =
        CreateFileA(dir.File("locked.s1v").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    auto image = std::make_unique<BankImage>();
    EXPECT_EQ("Cannot open input file #1", ReadError(dir, "locked.s1v", *image));
    EXPECT_NE("", OpenFailureReason(dir.File("locked.s1v")));
    CloseHandle(held);
    EXPECT_EQ("", OpenFailureReason(dir.File("locked.s1v")));
}
#else
TEST(VoiceFileTest, AFileWithoutReadPermissionCannotBeOpened)
{
    TempDir dir;
    Marked("locked").Write(dir.File("locked.s1v"), Kind::S1v);
    std::filesystem::permissions(dir.File("locked.s1v"), std::filesystem::perms::none);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    // Root reads every file, so the read runs as nobody in a child process.
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && ::setuid(65534) != 0) {
                std::_Exit(2);
            }
            auto image = std::make_unique<BankImage>();
            std::_Exit(ReadError(dir, "locked.s1v", *image) == "Cannot open input file #1" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

TEST(PatchBankTest, OwnsAndDeletesThePatchesInItsSlots)
{
    auto bank = std::make_unique<PatchBank[]>(5);
    EXPECT_EQ(128, bank[0].size());
    EXPECT_EQ(nullptr, bank[4][127]);
    bank[2][5] = new EX5Patch("owned", 1);  // freed by the bank; the leak checker watches
}

TEST(DemoBankTest, TheShippedDemoIsTheBuildersDemo)
{
    std::ifstream file(SONDERIK_DEMO_FILE, std::ios::binary);
    const std::vector<std::uint8_t> shipped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(shipped == DemoBank().FileBytes(VoiceFileBuilder::Kind::S1v))
        << "regenerate examples/demo.s1v with make_demo";
}
