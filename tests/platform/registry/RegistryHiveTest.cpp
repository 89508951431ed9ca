#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/RegistryHive.h"

namespace {

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

std::vector<BYTE> Data(const std::string& bytes) { return std::vector<BYTE>(bytes.begin(), bytes.end()); }

std::string FileOf(const std::string& body)
{
    return std::string("; Sonderik registry ") + kRoot + "\n\n" + body + "\n; end of " + kRoot + "\n";
}

struct ValueCase {
    const char* what;
    DWORD type;
    std::string data;
    std::string line;  // how the file shows it
};

class RegistryTextTest : public ::testing::TestWithParam<ValueCase> {};

}  // namespace

TEST_P(RegistryTextTest, ShowsTheValueReadablyAndReadsBackTheSameBytes)
{
    const ValueCase& c = GetParam();
    RegistryHive hive;
    hive.CreateKey("Software\\Sonderik");
    RegistryHive::SetValue(*hive.FindKey("Software\\Sonderik"), "v", c.type, Data(c.data));

    const std::string text = hive.Format(kRoot);
    EXPECT_NE(std::string::npos, text.find("\n\"v\"=" + c.line + "\n")) << text;

    const std::optional<RegistryHive> back = RegistryHive::Parse(text, kRoot);
    ASSERT_TRUE(back.has_value()) << text;
    const RegistryValue* v = RegistryHive::FindValue(*back->FindKey("software\\sonderik"), "V");
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(c.type, v->type);
    EXPECT_EQ(Data(c.data), v->data);
    EXPECT_EQ(text, back->Format(kRoot));
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryTextTest,
    ::testing::Values(
        ValueCase{"Text", REG_SZ, std::string("C:\\Voices\\\0", 11), R"("C:\\Voices\\")"},
        ValueCase{"QuotesAndControls", REG_SZ, std::string("a\"b\tc\x7f\xe9\0", 8), R"("a\"b\x09c\x7f)" "\xe9\""},
        ValueCase{"TextWithoutNul", REG_SZ, "abc", "hex(1):61,62,63"},
        ValueCase{"TextWithInnerNul", REG_SZ, std::string("a\0b\0", 4), "hex(1):61,00,62,00"},
        ValueCase{"Expandable", REG_EXPAND_SZ, std::string("%HOME%\0", 7), R"(expand:"%HOME%")"},
        ValueCase{"Dword", REG_DWORD, std::string("\x05\x00\x00\x80", 4), "dword:80000005"},
        ValueCase{"ShortDword", REG_DWORD, std::string("\x05\x00", 2), "hex(4):05,00"},
        ValueCase{"Binary", REG_BINARY, std::string("\xff\xff\xff\xff", 4), "hex:ff,ff,ff,ff"},
        ValueCase{"OddType", 0xdeadbeef, "\x01", "hex(deadbeef):01"}),
    [](const ::testing::TestParamInfo<ValueCase>& p) { return p.param.what; });

TEST(RegistryTextTest, AParentNamedAfterItsChildIsOneKey)
{
    const std::optional<RegistryHive> hive =
        RegistryHive::Parse(FileOf("[A\\B]\n\"v\"=hex:01\n\n[a]\n\"v\"=hex:02\n"), kRoot);
    ASSERT_TRUE(hive.has_value());
    ASSERT_EQ(3u, hive->Keys().size());
    EXPECT_EQ(Data("\x02"), RegistryHive::FindValue(*hive->FindKey("A"), "v")->data);
    EXPECT_EQ(Data("\x01"), RegistryHive::FindValue(*hive->FindKey("a\\b"), "V")->data);
}

TEST(RegistryTextTest, KeepsNamesOddCharactersAndTheDefaultValue)
{
    RegistryHive hive;
    hive.CreateKey("A]\\B [x]");
    RegistryKeyNode& key = *hive.FindKey("a]\\b [X]");
    RegistryHive::SetValue(key, "", REG_SZ, Data(std::string("d\0", 2)));
    RegistryHive::SetValue(key, "we\"ird\nname", REG_BINARY, Data("z"));
    RegistryHive::SetValue(*hive.FindKey(""), "atRoot", REG_BINARY, Data("r"));

    const std::optional<RegistryHive> back = RegistryHive::Parse(hive.Format(kRoot), kRoot);
    ASSERT_TRUE(back.has_value()) << hive.Format(kRoot);
    ASSERT_NE(nullptr, back->FindKey("A]"));
    EXPECT_NE(nullptr, RegistryHive::FindValue(*back->FindKey("A]\\B [x]"), ""));
    EXPECT_NE(nullptr, RegistryHive::FindValue(*back->FindKey("A]\\B [x]"), "we\"ird\nname"));
    EXPECT_NE(nullptr, RegistryHive::FindValue(*back->FindKey(""), "atRoot"));
}

struct CorruptCase {
    const char* what;
    std::string text;
};

class CorruptTextTest : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptTextTest, IsNoHive) { EXPECT_FALSE(RegistryHive::Parse(GetParam().text, kRoot).has_value()); }

INSTANTIATE_TEST_SUITE_P(
    Texts, CorruptTextTest,
    ::testing::Values(
        CorruptCase{"Empty", ""}, CorruptCase{"Binary", std::string("\0\x01\x02\n", 4)},
        CorruptCase{"NoClosingLine", "; Sonderik registry HKEY_LOCAL_MACHINE\n[K]\n\"v\"=hex:01\n"},
        CorruptCase{"NoFinalLineEnd", FileOf("[K]").substr(0, FileOf("[K]").size() - 1)},
        CorruptCase{"AnotherRoot", "; Sonderik registry HKEY_USERS\n[K]\n; end of HKEY_USERS\n"},
        CorruptCase{"ValueOutsideAKey", FileOf("\"v\"=hex:01\n")},
        CorruptCase{"KeyTwice", FileOf("[K]\n[k]\n")},
        CorruptCase{"ValueTwice", FileOf("[K]\n\"v\"=hex:01\n\"V\"=hex:02\n")},
        CorruptCase{"KeyTwiceApart", FileOf("[K]\n[K\\L]\n[k]\n")},
        CorruptCase{"ValueTwiceBeforeAnotherKey", FileOf("[K]\n\"v\"=hex:01\n\"w\"=hex:01\n\"V\"=hex:02\n[L]\n")},
        CorruptCase{"OddHex", FileOf("[K]\n\"v\"=hex:1\n")},
        CorruptCase{"UnknownForm", FileOf("[K]\n\"v\"=word:1\n")},
        CorruptCase{"UnknownEscape", FileOf("[K]\n\"v\"=\"a\\nb\"\n")},
        CorruptCase{"RawTab", FileOf("[K]\n\"v\"=\"a\tb\"\n")},
        CorruptCase{"TrailingJunk", FileOf("[K]\n\"v\"=\"ab\" x\n")}),
    [](const ::testing::TestParamInfo<CorruptCase>& p) { return p.param.what; });
