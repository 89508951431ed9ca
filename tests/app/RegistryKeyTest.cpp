#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RegistryKey.h"
#include "platform/registry/Registry.h"
#ifdef _WIN32
#include "tests/support/ScopedRegistryKeys.h"
#else
#include "tests/support/ConfigFolder.h"
#endif

namespace {

#ifdef _WIN32
// The system's registry: a key of the tests' own, in the user's root.
constexpr const char* kOwnKey = "Software\\SonderikRegistryKeyTest";
constexpr const char* kPath = "Software\\SonderikRegistryKeyTest\\Settings";
const HKEY kRoot = HKEY_CURRENT_USER;
#else
constexpr const char* kPath = "Software\\Sonderik\\Settings";
const HKEY kRoot = HKEY_LOCAL_MACHINE;
#endif

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(key.SetRootKey(kRoot));
        ASSERT_TRUE(key.SetKey(kPath, true));
    }

    // Removes the store that holds the key, as another program might.
    void RemoveStore() const
    {
#ifdef _WIN32
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(kRoot, kOwnKey));
#else
        std::filesystem::remove(config.RootFile("HKEY_LOCAL_MACHINE"));
#endif
    }

    bool StoreExists() const
    {
#ifdef _WIN32
        HKEY k = nullptr;
        if (RegOpenKeyExA(kRoot, kOwnKey, 0, KEY_READ, &k) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(k);
        return true;
#else
        return std::filesystem::exists(config.RootFile("HKEY_LOCAL_MACHINE"));
#endif
    }

    // Stores a value the way another program might have.
    static void Store(const char* name, DWORD type, const std::string& bytes)
    {
        HKEY k = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(kRoot, kPath, 0, KEY_SET_VALUE, &k));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
        RegCloseKey(k);
    }

    static std::pair<DWORD, std::string> Stored(const char* name)
    {
        HKEY k = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(kRoot, kPath, 0, KEY_QUERY_VALUE, &k));
        BYTE buffer[512];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(k, name, nullptr, &type, buffer, &size));
        RegCloseKey(k);
        return {type, std::string(reinterpret_cast<const char*>(buffer), size)};
    }

#ifdef _WIN32
    ScopedRegistryKeys own{{kRoot, kOwnKey}};
#else
    ConfigFolder config;
#endif
    RegistryKey key;
};

}  // namespace

TEST(RegistryKeyRootTest, TakesOnlyTheFourRootsAProgramMayUse)
{
    RegistryKey key;
    EXPECT_EQ(HKEY_CURRENT_USER, key.RootKey());
    EXPECT_TRUE(key.LazyWrite());
    EXPECT_EQ("", key.KeyPath());
    for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_TRUE(key.SetRootKey(root));
        EXPECT_EQ(root, key.RootKey());
    }
    for (const HKEY other : {HKEY_CURRENT_CONFIG, HKEY_PERFORMANCE_DATA, HKEY{nullptr},
#ifdef _WIN32
                              HKEY_CURRENT_USER_LOCAL_SETTINGS}) {
#else
                              PredefinedRegistryRoot(0x80000007u)}) {
#endif
        EXPECT_FALSE(key.SetRootKey(other));
        EXPECT_EQ(HKEY_LOCAL_MACHINE, key.RootKey());
    }
}

TEST_F(RegistryKeyTest, SetKeyMakesOrOpensAndAnEmptyPathForgetsTheKey)
{
    EXPECT_EQ(kPath, key.KeyPath());
    EXPECT_FALSE(key.SetKey("Software\\Nobody", false));
    EXPECT_EQ(kPath, key.KeyPath()) << "a failed SetKey keeps the key";
    EXPECT_TRUE(key.SetKey("", false));
    EXPECT_EQ("", key.KeyPath());
#ifndef _WIN32
    EXPECT_EQ((std::vector<std::string>{"HKEY_LOCAL_MACHINE.txt"}), config.Names());
#endif
}

TEST_F(RegistryKeyTest, NumbersAreFourBinaryBytesLeastSignificantFirst)
{
    EXPECT_TRUE(key.WriteInt("midiin", -1));
    EXPECT_TRUE(key.WriteInt("delay", 0x01020304));
    EXPECT_TRUE(key.WriteBool("keepontop", true));
    EXPECT_EQ(std::make_pair(DWORD{REG_BINARY}, std::string("\xff\xff\xff\xff")), Stored("midiin"));
    EXPECT_EQ(std::make_pair(DWORD{REG_BINARY}, std::string("\x04\x03\x02\x01")), Stored("delay"));
    EXPECT_EQ(std::make_pair(DWORD{REG_BINARY}, std::string("\x01\x00\x00\x00", 4)), Stored("keepontop"));
    EXPECT_EQ(-1, key.ReadInt("midiin", 7));
    EXPECT_EQ(0x01020304, key.ReadInt("delay", 7));
    EXPECT_TRUE(key.ReadBool("keepontop", false));
    EXPECT_EQ(REG_BINARY, key.GetValueType("delay"));
    EXPECT_EQ(0u, key.GetValueType("absent"));
}

struct IntCase {
    const char* what;
    DWORD type;
    std::string bytes;
    std::int32_t expected;  // with default 77
};

class ReadIntTest : public RegistryKeyTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ReadIntTest, Reads)
{
    Store("n", GetParam().type, GetParam().bytes);
    EXPECT_EQ(GetParam().expected, key.ReadInt("n", 77));
}

INSTANTIATE_TEST_SUITE_P(
    Stored, ReadIntTest,
    ::testing::Values(IntCase{"Binary", REG_BINARY, std::string("\x05\x00\x00\x00", 4), 5},
                      IntCase{"Dword", REG_DWORD, std::string("\x10\x27\x00\x00", 4), 10000},
                      IntCase{"ThreeBytesHighByteZero", REG_BINARY, "\xff\xff\xff", 0x00ffffff},
                      IntCase{"OneByte", REG_DWORD, "\x09", 9}, IntCase{"NoBytes", REG_BINARY, "", 0},
                      IntCase{"FiveBytes", REG_BINARY, std::string("\x01\x00\x00\x00\x00", 5), 77},
                      IntCase{"Qword", REG_QWORD, std::string("\x02\x00\x00\x00\x00\x00\x00\x00", 8), 77},
                      IntCase{"TextOfFourBytes", REG_SZ, std::string("C:\\\0", 4), 0x005c3a43}),
    [](const ::testing::TestParamInfo<IntCase>& p) { return p.param.what; });

TEST_F(RegistryKeyTest, AKeyThatHasGoneReadsAsDefaultsAndIsNotMadeAgainByAWrite)
{
    RemoveStore();
    EXPECT_EQ(77, key.ReadInt("n", 77));
    EXPECT_EQ("dflt", key.ReadString("s", "dflt"));
    EXPECT_FALSE(key.WriteInt("n", 1));
    EXPECT_FALSE(key.WriteString("s", "x"));
    EXPECT_FALSE(StoreExists());
}

struct TextCase {
    const char* what;
    DWORD type;
    std::string bytes;
    std::string expected;  // with default "dflt"
};

class ReadStringTest : public RegistryKeyTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ReadStringTest, Reads)
{
    Store("s", GetParam().type, GetParam().bytes);
    EXPECT_EQ(GetParam().expected, key.ReadString("s", "dflt"));
}

INSTANTIATE_TEST_SUITE_P(
    Stored, ReadStringTest,
    ::testing::Values(TextCase{"Text", REG_SZ, std::string("C:\\V\\\0", 6), "C:\\V\\"},
                      TextCase{"Expandable", REG_EXPAND_SZ, std::string("%X%\0", 4), "%X%"},
                      TextCase{"WithoutNul", REG_SZ, "abc", "abc"},
                      TextCase{"InnerNul", REG_SZ, std::string("ab\0cd\0", 6), "ab"},
                      TextCase{"Longest", REG_SZ, std::string(254, 'p') + '\0', std::string(254, 'p')},
                      TextCase{"LongestWithoutNul", REG_SZ, std::string(254, 'p'), std::string(254, 'p')},
                      TextCase{"OneTooLong", REG_SZ, std::string(255, 'p') + '\0', "dflt"},
                      TextCase{"OneTooLongWithoutNul", REG_SZ, std::string(255, 'p'), "dflt"},
                      TextCase{"Binary", REG_BINARY, std::string("C:\\\0", 4), "dflt"},
                      TextCase{"Dword", REG_DWORD, std::string("\x01\x00\x00\x00", 4), "dflt"}),
    [](const ::testing::TestParamInfo<TextCase>& p) { return p.param.what; });
