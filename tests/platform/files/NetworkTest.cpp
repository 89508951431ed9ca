#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/WinFiles.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"

namespace {

constexpr DWORD kBlock = 16384;

struct Listed {
    DWORD displayType;
    DWORD usage;
    std::string local;
    std::string remote;
};

std::string Text(const char* text)
{
    return text == nullptr ? std::string("(null)") : std::string(text);
}

// Opens an enumeration and makes the one call the browser makes.
std::vector<Listed> Enumerate(DWORD scope, const char* container, DWORD* result = nullptr)
{
    NETRESOURCEA parent{};
    parent.lpRemoteName = const_cast<LPSTR>(container);
    HANDLE handle = nullptr;
    const DWORD opened = WNetOpenEnumA(scope, RESOURCETYPE_ANY, 0, container == nullptr ? nullptr : &parent, &handle);
    if (result != nullptr) {
        *result = opened;
    }
    std::vector<Listed> listed;
    if (opened != NO_ERROR) {
        return listed;
    }
    HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, kBlock);
    DWORD count = 0xFFFFFFFF;
    DWORD size = kBlock;
    if (WNetEnumResourceA(handle, &count, block, &size) == NO_ERROR) {
        const auto* records = static_cast<const NETRESOURCEA*>(block);
        for (DWORD i = 0; i < count; ++i) {
            listed.push_back(Listed{records[i].dwDisplayType, records[i].dwUsage, Text(records[i].lpLocalName),
                                    Text(records[i].lpRemoteName)});
        }
    }
    EXPECT_EQ(nullptr, GlobalFree(block));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), WNetCloseEnum(handle));
    return listed;
}

class NetworkTest : public ::testing::Test {
protected:
    NetworkTest()
    {
        const std::filesystem::path voices = world_.Folder("cifs");
        world_.Folder("nfs");
        world_.Folder("sshfs");
        std::filesystem::create_directories(world_.Gvfs() / "smb-share:server=box,share=backup");
        std::filesystem::create_directories(world_.Gvfs() / "sftp:host=elsewhere");
        world_.Mounts({FileWorld::Mount("/", "ext4", "/dev/sda1"),
                       FileWorld::Mount(voices.string(), "cifs", "//BOX/Voices"),
                       FileWorld::Mount((world_.Root() / "nfs").string(), "nfs", "store:/export/banks"),
                       FileWorld::Mount((world_.Root() / "sshfs").string(), "fuse.sshfs", "me@laptop:/home/me/ex5")});
        drives_.emplace("SONDERIK_DRIVES", "N=" + voices.string());
    }

    FileWorld world_;
    std::optional<ScopedEnv> drives_;
};

TEST_F(NetworkTest, TheContextListsOneServerPerHostWithMountedShares)
{
    const std::vector<Listed> servers = Enumerate(RESOURCE_CONTEXT, nullptr);
    ASSERT_EQ(3u, servers.size());
    EXPECT_EQ("\\\\box", servers[0].remote);
    EXPECT_EQ("\\\\laptop", servers[1].remote);
    EXPECT_EQ("\\\\store", servers[2].remote);
    for (const Listed& server : servers) {
        EXPECT_EQ(RESOURCEDISPLAYTYPE_SERVER, server.displayType);
        EXPECT_EQ(RESOURCEUSAGE_CONTAINER, server.usage);
        EXPECT_EQ("(null)", server.local);
    }
}

TEST_F(NetworkTest, AServerListsItsSharesWithTheirDriveLetters)
{
    const std::vector<Listed> shares = Enumerate(RESOURCE_GLOBALNET, "\\\\box");
    ASSERT_EQ(2u, shares.size());
    EXPECT_EQ("\\\\box\\backup", shares[0].remote);
    EXPECT_EQ("(null)", shares[0].local);
    EXPECT_EQ("\\\\BOX\\Voices", shares[1].remote);
    EXPECT_EQ("N:", shares[1].local);
    EXPECT_EQ(RESOURCEDISPLAYTYPE_SHARE, shares[1].displayType);
    EXPECT_EQ(RESOURCEUSAGE_CONNECTABLE, shares[1].usage);
    EXPECT_EQ("\\\\laptop\\ex5", Enumerate(RESOURCE_GLOBALNET, "\\\\LAPTOP").at(0).remote);

    DWORD result = 0;
    EXPECT_TRUE(Enumerate(RESOURCE_GLOBALNET, "\\\\BOX\\Voices", &result).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_CONTAINER), result);
    EXPECT_TRUE(Enumerate(RESOURCE_GLOBALNET, "\\\\nobody", &result).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_NETPATH), result);
    EXPECT_EQ(DRIVE_REMOTE, GetDriveTypeA("\\\\box\\voices\\"));
}

TEST(NetworkPackingTest, RecordsThatDoNotFitWaitForTheNextCall)
{
    FileWorld world;
    std::vector<std::string> lines;
    const std::string longName(60, 's');
    for (int i = 0; i < 200; ++i) {
        lines.push_back(FileWorld::Mount("/srv/m" + std::to_string(i), "cifs",
                                         "//host/" + longName + std::to_string(1000 + i)));
    }
    world.Mounts(lines);

    NETRESOURCEA server{};
    server.lpRemoteName = const_cast<LPSTR>("\\\\host");
    HANDLE handle = nullptr;
    ASSERT_EQ(static_cast<DWORD>(NO_ERROR), WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &server, &handle));
    std::vector<char> block(kBlock, '\x7f');
    DWORD total = 0;
    std::vector<std::string> names;
    for (int call = 0; call < 10; ++call) {
        DWORD count = 0xFFFFFFFF;
        DWORD size = kBlock;
        const DWORD result = WNetEnumResourceA(handle, &count, block.data(), &size);
        if (result == static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) {
            break;
        }
        ASSERT_EQ(static_cast<DWORD>(NO_ERROR), result);
        ASSERT_GT(count, 0u);
        const auto* records = reinterpret_cast<const NETRESOURCEA*>(block.data());
        for (DWORD i = 0; i < count; ++i) {
            // Every string lies inside the block, after the records.
            const char* remote = records[i].lpRemoteName;
            ASSERT_GE(remote, block.data() + count * sizeof(NETRESOURCEA));
            ASSERT_LE(remote + std::strlen(remote) + 1, block.data() + block.size());
            names.emplace_back(remote);
        }
        if (call == 0) {
            EXPECT_LT(count, 200u) << "the first block took every share";
        }
        total += count;
    }
    EXPECT_EQ(200u, total);
    EXPECT_EQ("\\\\host\\" + longName + "1000", names.front());
    EXPECT_EQ("\\\\host\\" + longName + "1199", names.back());
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), WNetCloseEnum(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), WNetCloseEnum(handle));
}

TEST(NetworkPackingTest, ABlockTooSmallForOneRecordSaysHowMuchItNeeds)
{
    FileWorld world;
    world.Mounts({FileWorld::Mount("/srv/a", "cifs", "//host/share")});
    HANDLE handle = nullptr;
    ASSERT_EQ(static_cast<DWORD>(NO_ERROR), WNetOpenEnumA(RESOURCE_CONTEXT, RESOURCETYPE_ANY, 0, nullptr, &handle));
    std::vector<char> block(sizeof(NETRESOURCEA));
    DWORD count = 0xFFFFFFFF;
    DWORD size = static_cast<DWORD>(block.size());
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), WNetEnumResourceA(handle, &count, block.data(), &size));
    EXPECT_GT(size, sizeof(NETRESOURCEA));
    block.resize(size);
    count = 0xFFFFFFFF;
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), WNetEnumResourceA(handle, &count, block.data(), &size));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), WNetEnumResourceA(handle, &count, block.data(), &size));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), WNetCloseEnum(handle));
}

TEST(GlobalMemoryTest, BlocksAreZeroedKnownAndMayBeRefused)
{
    auto* block = static_cast<unsigned char*>(GlobalAlloc(GPTR, 16384));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0, block[0] | block[8191] | block[16383]);
    EXPECT_EQ(nullptr, GlobalFree(block));
    int notABlock = 0;
    EXPECT_EQ(&notABlock, GlobalFree(&notABlock));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    // More than any machine has: refused as when memory runs out.
    EXPECT_EQ(nullptr, GlobalAlloc(GMEM_ZEROINIT, SIZE_MAX));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    HGLOBAL again = GlobalAlloc(GMEM_ZEROINIT, 16384);
    EXPECT_NE(nullptr, again);
    GlobalFree(again);
}

}  // namespace
