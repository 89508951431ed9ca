#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <regex>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <optional>
#include <string>

#include "platform/system/System.h"
#include "tests/support/ScopedEnv.h"

namespace {

#ifdef _WIN32
// The settings and the log's "~" start from the profile folder: the
// environment's, else the account's own; the settings go where Windows keeps
// a user's programs' settings.
TEST(HomeFolderTest, IsTheProfileWhenSetElseTheAccountsOwn)
{
    const ScopedEnv own("SONDERIK_CONFIG_DIR", std::nullopt);
    const ScopedEnv appData("APPDATA", "C:\\Roaming");
    {
        const ScopedEnv profile("USERPROFILE", "C:\\Some\\Where");
        EXPECT_EQ("C:\\Some\\Where", platform::HomeFolder().string());
        EXPECT_EQ("C:\\Roaming\\Sonderik", platform::SettingsFolder().string());
    }
    const ScopedEnv profile("USERPROFILE", std::nullopt);
    EXPECT_FALSE(platform::HomeFolder().empty());
    const ScopedEnv chosen("SONDERIK_CONFIG_DIR", "C:\\Chosen");
    EXPECT_EQ("C:\\Chosen", platform::SettingsFolder().string());
}

TEST(SystemTest, TheUserAndTheLocalTimeAreTheSystems)
{
    EXPECT_FALSE(platform::UserName().empty());
    EXPECT_TRUE(std::regex_match(platform::LocalDateText(),
                                 std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}\\n")))
        << platform::LocalDateText();
}

// The index may be lost at any time: it goes where Windows keeps what a
// user's programs keep on this machine alone.
TEST(CacheFolderTest, IsTheOwnVariableElseLocalAppData)
{
    const ScopedEnv own("SONDERIK_CACHE_DIR", std::nullopt);
    {
        const ScopedEnv local("LOCALAPPDATA", "C:\\Local");
        EXPECT_EQ("C:\\Local\\Sonderik\\cache", platform::CacheFolder().string());
    }
    const ScopedEnv chosen("SONDERIK_CACHE_DIR", "C:\\Chosen");
    EXPECT_EQ("C:\\Chosen", platform::CacheFolder().string());
}

// Text mode would write every line feed of an exported voice as two bytes.
TEST(SystemTest, TheStandardStreamsCarryBytesAsWritten)
{
    platform::UseBinaryStandardStreams();
    EXPECT_EQ(_O_BINARY, ::_setmode(::_fileno(stdout), _O_BINARY));
    EXPECT_EQ(_O_BINARY, ::_setmode(::_fileno(stderr), _O_BINARY));
}
#else
// What the password database says, asked here without the code under test.
std::string AccountHome()
{
    const passwd* entry = ::getpwuid(::getuid());
    return entry == nullptr || entry->pw_dir == nullptr ? std::string() : std::string(entry->pw_dir);
}

// The settings, the drive C: and the log's "~" all start from this one
// folder: $HOME, and the account's own when $HOME says nothing.
TEST(HomeFolderTest, IsHomeWhenSetElseTheAccountsOwn)
{
    const ScopedEnv own("SONDERIK_CONFIG_DIR", std::nullopt);
    const ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    {
        const ScopedEnv home("HOME", "/some/where");
        EXPECT_EQ("/some/where", platform::HomeFolder().string());
        EXPECT_EQ("/some/where/.config/sonderik", platform::SettingsFolder().string());
    }
    const std::string account = AccountHome();
    ASSERT_FALSE(account.empty()) << "the test's account has no home folder";
    for (const std::optional<std::string>& unhelpful : {std::optional<std::string>(""), std::optional<std::string>()}) {
        const ScopedEnv home("HOME", unhelpful);
        EXPECT_EQ(account, platform::HomeFolder().string());
        EXPECT_EQ(account + "/.config/sonderik", platform::SettingsFolder().string());
    }
}

// A relative XDG_CACHE_HOME is ignored, as the base directory rules ask.
TEST(CacheFolderTest, IsTheOwnVariableElseXdgElseBelowHome)
{
    const ScopedEnv own("SONDERIK_CACHE_DIR", std::nullopt);
    const ScopedEnv home("HOME", "/some/where");
    {
        const ScopedEnv xdg("XDG_CACHE_HOME", "/xdg/cache");
        EXPECT_EQ("/xdg/cache/sonderik", platform::CacheFolder().string());
    }
    for (const std::optional<std::string>& unhelpful :
         {std::optional<std::string>("relative"), std::optional<std::string>()}) {
        const ScopedEnv xdg("XDG_CACHE_HOME", unhelpful);
        EXPECT_EQ("/some/where/.cache/sonderik", platform::CacheFolder().string());
    }
    const ScopedEnv chosen("SONDERIK_CACHE_DIR", "/chosen");
    EXPECT_EQ("/chosen", platform::CacheFolder().string());
}
#endif

}  // namespace
