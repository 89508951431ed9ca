#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#ifndef _WIN32
#include "platform/registry/RegistryFile.h"
#include "tests/support/ConfigFolder.h"
#endif

namespace {

const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

class RegistryTest : public ::testing::Test {
protected:
#ifdef _WIN32
    // The system's registry: the test works in a key of its own in the
    // user's root, made anew and removed after it.
    static constexpr const char* kTestKey = "Software\\SonderikRegistryTest";

    RegistryTest()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &root_, nullptr));
    }
    ~RegistryTest() override
    {
        RegCloseKey(root_);
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey));
    }

    HKEY root_ = nullptr;
#else
    ConfigFolder config;
    const HKEY root_ = HKEY_LOCAL_MACHINE;
#endif

    // Creates `path` under the test's root with every right and returns it open.
    HKEY Create(const char* path, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                                 nullptr, &key, disposition));
        return key;
    }
};

}  // namespace

TEST_F(RegistryTest, ValuesComeBackAsSetWithTheirTypeAndSize)
{
    DWORD disposition = 0;
    HKEY key = Create("Software\\Sonderik\\Settings", &disposition);
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Path", 0, REG_SZ, Bytes("C:\\"), 4));
    const std::array<BYTE, 4> four = {0x19, 0, 0, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "delay", 0, REG_BINARY, four.data(), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    // A second opening finds the key; the names are not case-sensitive.
    key = Create("SOFTWARE\\sonderik\\settings", &disposition);
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "path", nullptr, &type, nullptr, nullptr)) << "type only";
    EXPECT_EQ(REG_SZ, type);

    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, &size)) << "size only";
    EXPECT_EQ(4u, size);

    std::array<BYTE, 8> buffer{};
    buffer.fill(0xEE);
    size = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Path", nullptr, &type, buffer.data(), &size));
    EXPECT_EQ(4u, size) << "the size needed";
    EXPECT_EQ(0xEE, buffer[0]) << "a buffer too small is left alone";

    size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, &type, buffer.data(), &size));
    EXPECT_EQ(0, std::memcmp(buffer.data(), "C:\\", 4));

    size = buffer.size();
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "DELAY", nullptr, &type, buffer.data(), &size));
    EXPECT_EQ(REG_BINARY, type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0x19, buffer[0]);
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    // A handle to a parent reaches the key below it.
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root_, "Software", 0, KEY_READ, &parent));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, "Sonderik\\Settings\\", 0, KEY_READ, &child));
    RegCloseKey(child);
    RegCloseKey(parent);
}

#ifndef _WIN32
TEST_F(RegistryTest, EachRootIsOneReadableFileOfItsOwn)
{
    HKEY machine = Create("Software\\Sonderik\\Settings");
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(machine, "Path", 0, REG_SZ, Bytes("C:\\"), 4));
    RegCloseKey(machine);
    HKEY user = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &user, nullptr));
    RegCloseKey(user);

    EXPECT_EQ(
        "; Sonderik registry HKEY_LOCAL_MACHINE\n\n"
        "[Software]\n\n[Software\\Sonderik]\n\n[Software\\Sonderik\\Settings]\n\"Path\"=\"C:\\\\\"\n\n"
        "; end of HKEY_LOCAL_MACHINE\n",
        ConfigFolder::Contents(config.RootFile("HKEY_LOCAL_MACHINE")));
    EXPECT_NE(std::string::npos,
              ConfigFolder::Contents(config.RootFile("HKEY_CURRENT_USER")).find("[Software\\Other]"));
    HKEY missing = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_USERS, "Software", 0, KEY_READ, &missing));
    EXPECT_EQ((std::vector<std::string>{"HKEY_CURRENT_USER.txt", "HKEY_LOCAL_MACHINE.txt"}), config.Names());
}
#endif

TEST_F(RegistryTest, RefusesWhatTheHandleMayNotDo)
{
    RegCloseKey(Create("Software\\Sonderik"));
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root_, "Software\\Sonderik", 0, KEY_QUERY_VALUE, &reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(reader, "x", 0, REG_SZ, Bytes("a"), 2));
#ifndef _WIN32  // wine lets a reader make a key below it, where Windows refuses
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
#endif
    RegCloseKey(reader);

    HKEY writer = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root_, "Software\\Sonderik", 0, KEY_SET_VALUE, &writer));
    DWORD type = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(writer, "x", nullptr, &type, nullptr, nullptr));
    RegCloseKey(writer);
}

#ifndef _WIN32
namespace {

std::atomic<int> renames{0};

std::string ReadText(HKEY key, const char* name)
{
    std::array<char, 64> buffer{};
    DWORD size = buffer.size();
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return "(none)";
    }
    return std::string(buffer.data());
}

}  // namespace

TEST_F(RegistryTest, AKeysChangesReachTheFileTogetherAtItsCloseOverOthersMadeMeanwhile)
{
    HKEY old = Create("Software\\Sonderik");
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(old, "a", 0, REG_SZ, Bytes("old"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(old, "b", 0, REG_SZ, Bytes("old"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(old));

    HKEY writer = Create("Software\\Sonderik");
    HKEY reader = Create("Software\\Sonderik");
    renames = 0;
    WatchRegistryWrites([](WriteStage stage, std::string_view) { renames += stage == WriteStage::Renamed ? 1 : 0; });
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(writer, "a", 0, REG_SZ, Bytes("new"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(writer, "B", 0, REG_SZ, Bytes("mid"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(writer, "b", 0, REG_SZ, Bytes("new"), 4));
    EXPECT_EQ("new", ReadText(writer, "a")) << "its own handle sees what it set";
    EXPECT_EQ("new", ReadText(writer, "b")) << "the last set of a name wins";
    EXPECT_EQ("old", ReadText(reader, "a")) << "nobody else sees half of it";
    EXPECT_EQ("old", ReadText(reader, "b"));
    // Another writer's change to another value, made meanwhile, survives the close.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(reader, "c", 0, REG_SZ, Bytes("own"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(reader));
    EXPECT_EQ(1, renames.load());

    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(writer));
    EXPECT_EQ(2, renames.load()) << "one write for all three sets";
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(writer));
    EXPECT_EQ(2, renames.load()) << "nothing was left to write";
    WatchRegistryWrites(nullptr);

    reader = Create("Software\\Sonderik");
    EXPECT_EQ("new", ReadText(reader, "a"));
    EXPECT_EQ("new", ReadText(reader, "b"));
    EXPECT_EQ("own", ReadText(reader, "c"));
    RegCloseKey(reader);
}

TEST_F(RegistryTest, ACloseThatCannotWriteSaysSo)
{
    HKEY key = Create("Software\\Sonderik");
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "v", 0, REG_SZ, Bytes("a"), 2));
    // The file's place taken by a folder: the write at the close fails and says why.
    std::filesystem::remove(config.RootFile("HKEY_LOCAL_MACHINE"));
    std::filesystem::create_directory(config.RootFile("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(ERROR_CANTREAD, RegCloseKey(key));
}
#endif  // the file store

struct CallCase {
    const char* what;
    LSTATUS expected;
    LSTATUS (*call)(HKEY existing);
};

class RegistryCallTest : public RegistryTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(RegistryCallTest, ReturnsTheWindowsCode)
{
    HKEY key = Create("Software\\Sonderik");
    RegSetValueExA(key, "v", 0, REG_SZ, Bytes("a"), 2);
    EXPECT_EQ(GetParam().expected, GetParam().call(key));
    RegCloseKey(key);
}

const CallCase kCalls[] = {
    CallCase{"MissingKey", ERROR_FILE_NOT_FOUND,
             [](HKEY) {
                 HKEY k = nullptr;
                 return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nobody", 0, KEY_READ, &k);
             }},
    CallCase{"MissingValue", ERROR_FILE_NOT_FOUND,
             [](HKEY key) {
                 DWORD type = 0;
                 return RegQueryValueExA(key, "none", nullptr, &type, nullptr, nullptr);
             }},
    CallCase{"NullHandle", ERROR_INVALID_HANDLE,
             [](HKEY) {
                 DWORD type = 0;
                 return RegQueryValueExA(nullptr, "v", nullptr, &type, nullptr, nullptr);
             }},
#ifndef _WIN32  // the system keeps this root
    CallCase{"RootNotKept", ERROR_INVALID_HANDLE,
             [](HKEY) {
                 HKEY k = nullptr;
                 return RegOpenKeyExA(HKEY_PERFORMANCE_DATA, "", 0, KEY_READ, &k);
             }},
#endif
    CallCase{"ReservedNotNull", ERROR_INVALID_PARAMETER,
             [](HKEY key) {
                 DWORD reserved = 0;
                 return RegQueryValueExA(key, "v", &reserved, nullptr, nullptr, nullptr);
             }},
    CallCase{"LeadingBackslash", ERROR_BAD_PATHNAME,
             [](HKEY) {
                 HKEY k = nullptr;
                 return RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Software", 0, nullptr, 0, KEY_READ, nullptr, &k,
                                        nullptr);
             }},
#ifndef _WIN32  // the system takes empty parts in a path
    CallCase{"EmptyPart", ERROR_BAD_PATHNAME,
             [](HKEY) {
                 HKEY k = nullptr;
                 return RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\\\X", 0, nullptr, 0, KEY_READ, nullptr, &k,
                                        nullptr);
             }},
#endif
    CallCase{"CloseNull", ERROR_INVALID_HANDLE, [](HKEY) { return RegCloseKey(nullptr); }}
};

INSTANTIATE_TEST_SUITE_P(
    Calls, RegistryCallTest, ::testing::ValuesIn(kCalls),
    [](const ::testing::TestParamInfo<CallCase>& p) { return p.param.what; });

#ifndef _WIN32
TEST_F(RegistryTest, AKeyWhoseFileTurnedCorruptIsNotWrittenAgainFromScratch)
{
    HKEY key = Create("Software\\Sonderik");
    const std::string garbage = "; Sonderik registry HKEY_LOCAL_MACHINE\n[Software\n";
    ConfigFolder::Put(config.RootFile("HKEY_LOCAL_MACHINE"), garbage);

    DWORD type = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(key, "v", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(key, "v", 0, REG_SZ, Bytes("a"), 2));
    RegCloseKey(key);

    const std::vector<std::string> names = config.Names();
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(0u, names[0].find("HKEY_LOCAL_MACHINE.txt.corrupt-")) << names[0];
    EXPECT_EQ(garbage, ConfigFolder::Contents(config.Path() / names[0]));
}

struct FolderCase {
    const char* what;
    std::optional<std::string> own;
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::string expected;
};

class RegistryFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(RegistryFolderTest, FollowsTheEnvironment)
{
    const FolderCase& c = GetParam();
    const ScopedEnv own("SONDERIK_CONFIG_DIR", c.own);
    const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    const ScopedEnv home("HOME", c.home);
    EXPECT_EQ(c.expected, RegistryFolder().string());
}

INSTANTIATE_TEST_SUITE_P(
    Variables, RegistryFolderTest,
    ::testing::Values(FolderCase{"OwnFirst", "/opt/s/cfg", "/x", "/h", "/opt/s/cfg"},
                      FolderCase{"ThenXdg", "", "/x", "/h", "/x/sonderik"},
                      FolderCase{"RelativeXdgIgnored", std::nullopt, "rel", "/h", "/h/.config/sonderik"},
                      FolderCase{"ThenHome", std::nullopt, std::nullopt, "/h", "/h/.config/sonderik"}),
    [](const ::testing::TestParamInfo<FolderCase>& p) { return p.param.what; });
#endif  // the file store
