#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/system/System.h"
#include "tests/support/ScopedEnv.h"

namespace {

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

}  // namespace
