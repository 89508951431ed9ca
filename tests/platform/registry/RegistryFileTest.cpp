#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include "platform/registry/RegistryFile.h"
#include "tests/support/ConfigFolder.h"

namespace {

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

std::vector<BYTE> Data(const std::string& bytes) { return std::vector<BYTE>(bytes.begin(), bytes.end()); }

std::string FileOf(const std::string& body)
{
    return std::string("; Sonderik registry ") + kRoot + "\n\n" + body + "\n; end of " + kRoot + "\n";
}

}  // namespace

namespace {

class HiveFileTest : public ::testing::Test {
protected:
    HiveFile Store(std::chrono::milliseconds wait = HiveFile::kDefaultLockWait) const
    {
        return HiveFile(config.Path(), kRoot, wait);
    }

    static HiveFile::Change SetV(const char* text)
    {
        return [text](RegistryHive& hive, bool& changed) {
            hive.CreateKey("K");
            changed = RegistryHive::SetValue(*hive.FindKey("K"), "v", REG_BINARY, Data(text));
            return ERROR_SUCCESS;
        };
    }

    ConfigFolder config;
};

}  // namespace

TEST_F(HiveFileTest, ACorruptFileIsSetAsideWholeAndNeverWrittenInto)
{
    const std::string garbage = "not a registry\n\"v\"=hex:01\n";
    ConfigFolder::Put(config.RootFile(kRoot), garbage);

    RegistryHive hive;
    EXPECT_EQ(ERROR_SUCCESS, Store().Read(hive));
    EXPECT_EQ(1u, hive.Keys().size()) << "only the root";
    std::vector<std::string> names = config.Names();
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(0u, names[0].find("HKEY_LOCAL_MACHINE.txt.corrupt-"));
    EXPECT_EQ(garbage, ConfigFolder::Contents(config.Path() / names[0]));

    // A second corrupt file goes beside the first; the new file starts afresh.
    ConfigFolder::Put(config.RootFile(kRoot), "again\n");
    EXPECT_EQ(ERROR_SUCCESS, Store().Update(SetV("a"), "v"));
    names = config.Names();
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ(FileOf("[K]\n\"v\"=hex:61\n"), ConfigFolder::Contents(config.RootFile(kRoot)));
    EXPECT_EQ(garbage, ConfigFolder::Contents(config.Path() / names[1]));
    EXPECT_EQ("again\n", ConfigFolder::Contents(config.Path() / names[2]));
}

TEST_F(HiveFileTest, AWatchNamesWhatWasSetAsideSinceAndACorruptFileStillInPlace)
{
    ConfigFolder::Put(config.RootFile(kRoot), FileOf("[K]\n\"v\"=hex:61\n"));
    ConfigFolder::Put(config.RootFile("HKEY_CURRENT_USER"), "not a registry\n");
    const SetAsideWatch watch(config.Path());
    // Nobody has read it yet, as when the folder forbids setting it aside.
    std::vector<SetAsideWatch::SetAside> found = watch.Since();
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(config.RootFile("HKEY_CURRENT_USER"), found[0].file);
    EXPECT_EQ("", found[0].asideName);

    RegistryHive hive;
    ASSERT_EQ(ERROR_SUCCESS, HiveFile(config.Path(), "HKEY_CURRENT_USER").Read(hive));
    found = watch.Since();
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(config.RootFile("HKEY_CURRENT_USER"), found[0].file);
    EXPECT_EQ(0u, found[0].asideName.rfind("HKEY_CURRENT_USER.txt.corrupt-", 0)) << found[0].asideName;
    EXPECT_TRUE(SetAsideWatch(config.Path()).Since().empty()) << "told once";
}

TEST_F(HiveFileTest, WhatIsNotAFileIsReadAsUnreadableWithoutWaitingOrHarm)
{
    std::filesystem::create_directories(config.Path());
    ASSERT_EQ(0, ::mkfifo(config.RootFile(kRoot).c_str(), 0600));
    RegistryHive hive;
    EXPECT_EQ(ERROR_CANTREAD, Store().Read(hive)) << "a pipe must not stall the read";
    EXPECT_EQ(ERROR_CANTREAD, Store().Update(SetV("a"), "v"));
    std::filesystem::remove(config.RootFile(kRoot));

    std::filesystem::create_directory(config.RootFile(kRoot));
    EXPECT_EQ(ERROR_CANTREAD, Store().Update(SetV("a"), "v"));
    EXPECT_TRUE(std::filesystem::is_directory(config.RootFile(kRoot)));
}

TEST_F(HiveFileTest, AWriterGivesUpWhenTheLockIsHeldTooLong)
{
    std::filesystem::create_directories(config.Path());
    const int fd = ::open((config.Path() / "HKEY_LOCAL_MACHINE.lock").c_str(), O_RDONLY | O_CREAT, 0644);
    ASSERT_EQ(0, ::flock(fd, LOCK_EX));
    // How long it waits before it gives up is registry_bench's BM_GiveUpAtAHeldLock.
    EXPECT_EQ(ERROR_TIMEOUT, Store(std::chrono::milliseconds(50)).Update(SetV("a"), "v"));
    ::close(fd);
    EXPECT_EQ(ERROR_SUCCESS, Store(std::chrono::milliseconds(50)).Update(SetV("a"), "v"));
    EXPECT_FALSE(std::filesystem::exists(config.Path() / "HKEY_LOCAL_MACHINE.txt.tmp"));
}

TEST_F(HiveFileTest, AWriterWaitingAtTheLockGoesOnWhenItIsReleased)
{
    std::filesystem::create_directories(config.Path());
    const int fd = ::open((config.Path() / "HKEY_LOCAL_MACHINE.lock").c_str(), O_RDONLY | O_CREAT, 0644);
    ASSERT_EQ(0, ::flock(fd, LOCK_EX));
    std::atomic<bool> released{false};
    LSTATUS status = ERROR_TIMEOUT;
    std::thread writer([&] {
        status = Store().Update(SetV("a"), "v");
        EXPECT_TRUE(released.load()) << "it wrote while the lock was held";
    });
    // However the two meet, the writer sees the release: it is either still
    // trying or already waiting for a close.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    released = true;
    ::close(fd);
    writer.join();
    EXPECT_EQ(ERROR_SUCCESS, status);
}
