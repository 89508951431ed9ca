#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "containers/FatImage.h"
#include "tests/containers/ContainerFixtures.h"

namespace {

using namespace containers;
using fixtures::Fixture;

const Entry* Named(const Listing& listing, const std::string& name)
{
    const auto at = std::find_if(listing.entries.begin(), listing.entries.end(),
                                 [&name](const Entry& e) { return e.name == name; });
    return at == listing.entries.end() ? nullptr : &*at;
}

std::vector<std::string> NamesOf(const Listing& listing)
{
    std::vector<std::string> names;
    for (const Entry& e : listing.entries) {
        names.push_back(e.name);
    }
    return names;
}

unsigned Le16(const std::string& image, std::size_t at)
{
    return static_cast<unsigned char>(image[at]) | (static_cast<unsigned>(static_cast<unsigned char>(image[at + 1])) << 8);
}

// Where the directory entry with this 8.3 name (11 bytes, space padded) is.
std::size_t EntryAt(const std::string& image, const char (&shortName)[12])
{
    const std::size_t at = image.find(std::string_view(shortName, 11));
    EXPECT_NE(std::string::npos, at) << shortName;
    EXPECT_EQ(0U, at % 32) << shortName;
    return at;
}

unsigned StartCluster(const std::string& image, const char (&shortName)[12])
{
    return Le16(image, EntryAt(image, shortName) + 26);
}

// A FAT12 image's table entry, set in both copies of the table.
void SetFat12(std::string& image, unsigned cluster, unsigned value)
{
    const std::size_t sector = Le16(image, 11);
    const std::size_t tableBytes = Le16(image, 22) * sector;
    for (std::size_t copy = 0; copy < static_cast<unsigned char>(image[16]); ++copy) {
        const std::size_t at = Le16(image, 14) * sector + copy * tableBytes + cluster * 3 / 2;
        unsigned pair = Le16(image, at);
        pair = (cluster & 1U) != 0 ? (pair & 0x000FU) | (value << 4) : (pair & 0xF000U) | value;
        image[at] = static_cast<char>(pair & 0xFF);
        image[at + 1] = static_cast<char>(pair >> 8);
    }
}

std::size_t ClusterOffset(const std::string& image, unsigned cluster)
{
    const std::size_t sector = Le16(image, 11);
    const std::size_t rootSectors = (Le16(image, 17) * 32 + sector - 1) / sector;
    const std::size_t data = (Le16(image, 14) + static_cast<unsigned char>(image[16]) * Le16(image, 22) + rootSectors) * sector;
    return data + (cluster - 2) * sector * static_cast<unsigned char>(image[13]);
}

// mcopy gives "My Pads.s1a" the short name MYPADS~1.S1A and one long-name
// entry right before it.
constexpr char kPadsShort[] = "MYPADS~1S1A";

TEST(FatImageTest, FloppiesOfBothSizesListTheirFoldersWithLongNamesSizesAndStamps)
{
    for (const char* name : {"floppy-720.img", "floppy-1440.img"}) {
        SCOPED_TRACE(name);
        const std::string bytes = Fixture(name);
        const ImageBytes image = BytesOf(bytes);
        ASSERT_TRUE(LooksLikeFatImage(image));

        const Listing root = ListFatFolder(image, {});
        ASSERT_EQ("", root.problem);
        // The volume label is no entry.
        EXPECT_EQ(nullptr, Named(root, "EX5DISK"));
        const Entry* demo = Named(root, "DEMO.S1V");
        ASSERT_NE(nullptr, demo);
        EXPECT_FALSE(demo->folder);
        EXPECT_EQ(197760U, demo->size);
        EXPECT_EQ(fixtures::kStamp, demo->modified);
        EXPECT_EQ("", demo->refused);
        ASSERT_NE(nullptr, Named(root, "EX5"));
        EXPECT_TRUE(Named(root, "EX5")->folder);

        // "." and ".." are no entries; folders are found ignoring case.
        EXPECT_EQ(std::vector<std::string>{"PADS"}, NamesOf(ListFatFolder(image, {"ex5"})));
        const Listing pads = ListFatFolder(image, {"Ex5", "pads"});
        ASSERT_EQ("", pads.problem);
        ASSERT_EQ(std::vector<std::string>{"My Pads.s1a"}, NamesOf(pads));
        EXPECT_EQ(473004U, pads.entries[0].size);
        EXPECT_EQ(fixtures::kStamp, pads.entries[0].modified);
    }

    const std::string bytes = Fixture("floppy-1440.img");
    const ImageBytes image = BytesOf(bytes);
    const Listing root = ListFatFolder(image, {});
    // The root spreads over several sectors: 60 notes, two files, two folders.
    EXPECT_EQ(64U, root.entries.size());
    EXPECT_NE(nullptr, Named(root, "NOTE60.TXT"));
    ASSERT_NE(nullptr, Named(root, "Factory Sets"));
    EXPECT_EQ(std::vector<std::string>{"voices.s1y"}, NamesOf(ListFatFolder(image, {"FACTOR~1"})));
}

TEST(FatImageTest, FilesComeOutByteForByteByLongOrShortNameOnFloppiesAndFat16)
{
    const std::string demo = fixtures::Bytes(SONDERIK_DEMO_FILE);
    const std::string pads = fixtures::BankAs(VoiceFileBuilder::Kind::S1a);

    const std::string floppy = Fixture("floppy-1440.img");
    const ImageBytes image = BytesOf(floppy);
    const Contents read = ReadFatFile(image, {"DEMO.S1V"});
    EXPECT_EQ("", read.problem);
    EXPECT_TRUE(read.bytes == demo);
    EXPECT_TRUE(ReadFatFile(image, {"EX5", "PADS", "My Pads.s1a"}).bytes == pads);
    EXPECT_TRUE(ReadFatFile(image, {"ex5", "Pads", "mypads~1.S1A"}).bytes == pads);
    EXPECT_TRUE(ReadFatFile(image, {"factory sets", "VOICES.S1Y"}).bytes ==
                fixtures::BankAs(VoiceFileBuilder::Kind::S1y));
    EXPECT_EQ("", ReadFatFile(image, {"NOTE07.TXT"}).problem);
    EXPECT_EQ("note 07\r\n", ReadFatFile(image, {"note07.txt"}).bytes);

    // 2 KB clusters over a 16-bit table.
    const std::string big = Fixture("fat16.img");
    const ImageBytes fat16 = BytesOf(big);
    ASSERT_TRUE(LooksLikeFatImage(fat16));
    EXPECT_TRUE(ReadFatFile(fat16, {"EX5", "DEMO.S1V"}).bytes == demo);
    EXPECT_TRUE(ReadFatFile(fat16, {"EX5", "PADS", "My Pads.s1a"}).bytes == pads);
    EXPECT_EQ((std::vector<std::string>{"PADS", "DEMO.S1V"}), NamesOf(ListFatFolder(fat16, {"EX5"})));
}

TEST(FatImageTest, WhatIsNoFatImageIsToldByItsBootSector)
{
    const std::string demo = fixtures::Bytes(SONDERIK_DEMO_FILE);
    EXPECT_FALSE(LooksLikeFatImage(BytesOf(demo)));
    EXPECT_FALSE(LooksLikeFatImage(BytesOf("")));
    EXPECT_FALSE(LooksLikeFatImage(BytesOf(std::string(4096, '\0'))));
    EXPECT_EQ("this is not a FAT disk image", ListFatFolder(BytesOf(demo), {}).problem);
    EXPECT_EQ("this is not a FAT disk image", ReadFatFile(BytesOf(demo), {"DEMO.S1V"}).problem);

    const std::string good = Fixture("floppy-720.img");
    const auto patched = [&good](std::size_t at, std::initializer_list<unsigned char> bytes) {
        std::string image = good;
        std::size_t i = at;
        for (const unsigned char b : bytes) {
            image[i++] = static_cast<char>(b);
        }
        return LooksLikeFatImage(BytesOf(image));
    };
    EXPECT_TRUE(patched(0, {0xEB}));
    EXPECT_FALSE(patched(11, {0xE8, 0x03})) << "1000 bytes a sector";
    EXPECT_FALSE(patched(13, {3})) << "3 sectors a cluster";
    EXPECT_FALSE(patched(14, {0, 0})) << "no reserved sector";
    EXPECT_FALSE(patched(16, {3})) << "three tables";
    EXPECT_FALSE(patched(17, {0, 0})) << "no root folder";
    EXPECT_FALSE(patched(21, {0x12})) << "media byte";
    EXPECT_FALSE(patched(22, {0, 0})) << "a FAT32 disk";
    EXPECT_FALSE(patched(19, {0x0A, 0})) << "fewer sectors than its tables";
}

TEST(FatImageTest, PathsThatNameNothingOrTheWrongKindSaySo)
{
    const std::string bytes = Fixture("floppy-720.img");
    const ImageBytes image = BytesOf(bytes);
    EXPECT_EQ("there is no \"VOICES\" on the disk image", ListFatFolder(image, {"VOICES"}).problem);
    EXPECT_EQ("there is no \"X.S1V\" on the disk image", ReadFatFile(image, {"EX5", "X.S1V"}).problem);
    EXPECT_EQ("\"DEMO.S1V\" on the disk image is a file, not a folder", ListFatFolder(image, {"demo.s1v"}).problem);
    EXPECT_EQ("\"DEMO.S1V\" on the disk image is a file, not a folder",
              ReadFatFile(image, {"DEMO.S1V", "X"}).problem);
    EXPECT_EQ("\"PADS\" on the disk image is a folder, not a file", ReadFatFile(image, {"EX5", "PADS"}).problem);
    EXPECT_NE("", ReadFatFile(image, {}).problem);
    // "." and ".." lead nowhere, not to the folder above.
    EXPECT_NE("", ListFatFolder(image, {"EX5", ".."}).problem);
    EXPECT_NE("", ReadFatFile(image, {"EX5", "..", "DEMO.S1V"}).problem);
}

TEST(FatImageTest, AFileLargerThanTheLimitIsRefusedUnreadAndNoMoreIsEverRead)
{
    const std::string bytes = Fixture("floppy-720.img");
    std::size_t taken = 0;
    const ImageBytes counted{[&bytes, &taken](std::uint64_t offset, std::size_t size, std::uint8_t* into) {
                                 taken += size;
                                 return BytesOf(bytes).read(offset, size, into);
                             },
                             bytes.size()};
    const Contents refused = ReadFatFile(counted, {"DEMO.S1V"}, 197759);
    EXPECT_EQ("\"DEMO.S1V\" is 197760 bytes long, more than the 197759 read from a disk image", refused.problem);
    EXPECT_EQ("", refused.bytes);
    // The boot sector, the table and the root folder, none of the file.
    EXPECT_LT(taken, 16384U);

    taken = 0;
    EXPECT_EQ(197760U, ReadFatFile(counted, {"DEMO.S1V"}, 197760).bytes.size());
    EXPECT_LT(taken, 197760U + 16384U);
    // The default limit takes the largest voice file whole.
    EXPECT_EQ(473004U, ReadFatFile(counted, {"EX5", "PADS", "My Pads.s1a"}).bytes.size());
}

TEST(FatImageTest, ACutShortImageOrADamagedTableIsAProblemNeverWrongBytes)
{
    const std::string good = Fixture("floppy-720.img");
    const unsigned demo = StartCluster(good, "DEMO    S1V");

    // Cut within the data: the first file reads, the last does not.
    const std::string cut = good.substr(0, 300000);
    EXPECT_EQ(197760U, ReadFatFile(BytesOf(cut), {"DEMO.S1V"}).bytes.size());
    EXPECT_EQ("the disk image is cut short", ReadFatFile(BytesOf(cut), {"EX5", "PADS", "My Pads.s1a"}).problem);
    // Cut within the root folder: its boot sector still says FAT.
    const std::string head = good.substr(0, 4096);
    EXPECT_TRUE(LooksLikeFatImage(BytesOf(head)));
    EXPECT_EQ("the disk image is cut short", ListFatFolder(BytesOf(head), {}).problem);

    const auto readDemo = [](const std::string& image) { return ReadFatFile(BytesOf(image), {"DEMO.S1V"}); };
    std::string loop = good;
    SetFat12(loop, demo + 3, demo + 1);
    EXPECT_EQ("the disk image's file chain loops", readDemo(loop).problem);
    EXPECT_EQ("", readDemo(loop).bytes);

    std::string shortChain = good;
    SetFat12(shortChain, demo + 3, 0xFFF);
    EXPECT_EQ("the file ends early on the disk image: part of it is missing", readDemo(shortChain).problem);

    for (const unsigned wrong : {0x000U, 0xFF0U, 0xFF7U, 0xF00U}) {
        std::string damaged = good;
        SetFat12(damaged, demo + 3, wrong);
        EXPECT_EQ("the disk image's file table is damaged", readDemo(damaged).problem) << wrong;
    }
    std::string farStart = good;
    const std::size_t entry = EntryAt(farStart, "DEMO    S1V");
    farStart[entry + 26] = static_cast<char>(0xF0);
    farStart[entry + 27] = static_cast<char>(0x0F);
    EXPECT_EQ("the disk image's file table is damaged", readDemo(farStart).problem);

    // A folder whose one cluster holds no end mark and leads back to itself.
    std::string folderLoop = good;
    const unsigned ex5 = StartCluster(folderLoop, "EX5        ");
    SetFat12(folderLoop, ex5, ex5);
    const std::size_t at = ClusterOffset(folderLoop, ex5);
    for (std::size_t e = 0; e < 1024; e += 32) {
        folderLoop[at + e] = static_cast<char>(0xE5);
    }
    EXPECT_EQ("the disk image's folder chain loops", ListFatFolder(BytesOf(folderLoop), {"EX5"}).problem);
    EXPECT_TRUE(ListFatFolder(BytesOf(folderLoop), {"EX5"}).entries.empty());
}

TEST(FatImageTest, ABrokenLongNameFallsBackToTheShortNameAndDeletedEntriesAreGone)
{
    const std::string good = Fixture("floppy-720.img");
    const std::size_t shortEntry = EntryAt(good, kPadsShort);
    const std::size_t longEntry = shortEntry - 32;
    ASSERT_EQ(0x0F, good[longEntry + 11]);

    std::string checksum = good;
    checksum[longEntry + 13] = static_cast<char>(checksum[longEntry + 13] ^ 1);
    EXPECT_EQ(std::vector<std::string>{"MYPADS~1.S1A"}, NamesOf(ListFatFolder(BytesOf(checksum), {"EX5", "PADS"})));
    EXPECT_EQ(473004U, ReadFatFile(BytesOf(checksum), {"EX5", "PADS", "MYPADS~1.S1A"}).bytes.size());

    std::string sequence = good;
    sequence[longEntry] = 0x42;  // says a second piece follows; none does
    EXPECT_EQ(std::vector<std::string>{"MYPADS~1.S1A"}, NamesOf(ListFatFolder(BytesOf(sequence), {"EX5", "PADS"})));

    std::string deleted = good;
    deleted[EntryAt(deleted, "README  TXT")] = static_cast<char>(0xE5);
    const Listing root = ListFatFolder(BytesOf(deleted), {});
    EXPECT_EQ(nullptr, Named(root, "README.TXT"));
    EXPECT_NE(nullptr, Named(root, "DEMO.S1V"));
    EXPECT_NE("", ReadFatFile(BytesOf(deleted), {"README.TXT"}).problem);
}

TEST(FatImageTest, NamesThatCouldLeaveTheFolderOrHoldControlCharactersAreListedRefusedAndNeverRead)
{
    const std::string good = Fixture("floppy-720.img");
    const std::size_t longEntry = EntryAt(good, kPadsShort) - 32;
    // The long name's first characters, the rest ended.
    const auto renamed = [&good, longEntry](std::u16string name) {
        std::string image = good;
        static constexpr int kPlaces[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        name.push_back(0);
        for (std::size_t i = 0; i < 13; ++i) {
            const char16_t c = i < name.size() ? name[i] : 0xFFFF;
            image[longEntry + static_cast<std::size_t>(kPlaces[i])] = static_cast<char>(c & 0xFF);
            image[longEntry + static_cast<std::size_t>(kPlaces[i]) + 1] = static_cast<char>(c >> 8);
        }
        return image;
    };
    struct Case {
        std::u16string name;
        std::string shown;
        std::string refused;
    };
    const Case cases[] = {
        {u"..", "..", "its name is \"..\""},
        {u"a/b.s1a", "a/b.s1a", "its name holds a slash or backslash"},
        {u"..\\x.s1a", "..\\x.s1a", "its name holds a slash or backslash"},
        {u"p\u0001.s1a", "p\x01.s1a", "its name holds a control character"},
        {u"p\u007F.s1a", "p\x7F.s1a", "its name holds a control character"},
        {u"Pad\u00E9.s1a", "Pad\xC3\xA9.s1a", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const std::string image = renamed(c.name);
        const Listing pads = ListFatFolder(BytesOf(image), {"EX5", "PADS"});
        ASSERT_EQ(1U, pads.entries.size());
        EXPECT_EQ(c.shown, pads.entries[0].name);
        EXPECT_EQ(c.refused, pads.entries[0].refused);
        const Contents read = ReadFatFile(BytesOf(image), {"EX5", "PADS", c.shown});
        if (c.refused.empty()) {
            EXPECT_EQ(473004U, read.bytes.size());
        } else {
            EXPECT_EQ("an entry on the disk image is not opened: " + c.refused, read.problem);
            EXPECT_EQ("", read.bytes);
            // Not by its short name either.
            EXPECT_NE("", ReadFatFile(BytesOf(image), {"EX5", "PADS", "MYPADS~1.S1A"}).problem);
        }
    }

    // A short name with a control character, and a folder one.
    std::string control = good;
    control[EntryAt(control, "README  TXT") + 2] = '\x01';
    const Listing root = ListFatFolder(BytesOf(control), {});
    const Entry* readme = Named(root, "RE\x01" "DME.TXT");
    ASSERT_NE(nullptr, readme);
    EXPECT_EQ("its name holds a control character", readme->refused);
    EXPECT_EQ("", ReadFatFile(BytesOf(control), {"RE\x01" "DME.TXT"}).bytes);
    std::string folder = good;
    folder[EntryAt(folder, "EX5        ") + 1] = '/';
    EXPECT_EQ("an entry on the disk image is not opened: its name holds a slash or backslash",
              ListFatFolder(BytesOf(folder), {"E/5"}).problem);
}

}  // namespace
