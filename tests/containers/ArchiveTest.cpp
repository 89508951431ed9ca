#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "containers/Archive.h"
#include "tests/containers/ContainerFixtures.h"
#include "tests/support/TempDir.h"

namespace {

using namespace containers;
using fixtures::Fixture;

const ArchiveEntry* At(const ArchiveIndex& index, const std::string& path)
{
    const auto at = std::find_if(index.entries.begin(), index.entries.end(),
                                 [&path](const ArchiveEntry& e) { return e.path == path; });
    return at == index.entries.end() ? nullptr : &*at;
}

std::vector<std::string> NamesOf(const Listing& listing)
{
    std::vector<std::string> names;
    for (const Entry& e : listing.entries) {
        names.push_back(e.name + (e.folder ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Replaced(std::string bytes, const std::string& from, const std::string& to)
{
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
    }
    return bytes;
}

std::size_t Le16(const std::string& bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | (std::size_t{static_cast<unsigned char>(bytes[at + 1])} << 8);
}

// A ustar archive of entries as given, however odd their names.
struct TarItem {
    std::string name;
    char type = '0';
    std::string data;
    std::string link;
};

std::string Tar(const std::vector<TarItem>& items)
{
    std::string tar;
    for (const TarItem& item : items) {
        std::string header(512, '\0');
        const auto field = [&header](std::size_t at, const std::string& text) { header.replace(at, text.size(), text); };
        const auto octal = [](std::size_t value, int digits) {
            char text[32];
            std::snprintf(text, sizeof text, "%0*zo", digits, value);
            return std::string(text);
        };
        field(0, item.name);
        field(100, "0000644");
        field(108, "0000000");
        field(116, "0000000");
        field(124, octal(item.data.size(), 11));
        field(136, octal(static_cast<std::size_t>(fixtures::kStamp), 11));
        field(148, "        ");
        header[156] = item.type;
        field(157, item.link);
        field(257, std::string("ustar\0" "00", 8));
        unsigned sum = 0;
        for (const char c : header) {
            sum += static_cast<unsigned char>(c);
        }
        field(148, octal(sum, 6));
        tar += header + item.data + std::string((512 - item.data.size() % 512) % 512, '\0');
    }
    return tar + std::string(1024, '\0');
}

TEST(ArchiveTest, ZipSevenZipAndTarListTheirFoldersIncludingImpliedOnes)
{
    for (const char* name : {"voices.zip", "voices.7z", "voices.tar.gz"}) {
        SCOPED_TRACE(name);
        const std::string bytes = Fixture(name);
        const ArchiveIndex index = IndexArchive(bytes);
        ASSERT_EQ("", index.problem);
        const ArchiveEntry* demo = At(index, "DEMO.S1V");
        ASSERT_NE(nullptr, demo);
        EXPECT_FALSE(demo->folder);
        EXPECT_EQ(197760U, demo->size);
        EXPECT_EQ("", demo->refused);
        const ArchiveEntry* pads = At(index, "EX5/PADS/My Pads.s1a");
        ASSERT_NE(nullptr, pads);
        EXPECT_EQ(473004U, pads->size);
        if (std::string(name) != "voices.zip") {
            EXPECT_EQ(fixtures::kStamp, pads->modified);
        }

        // The zip has no entries for its folders; they are there all the same.
        const Listing root = ListArchiveFolder(index, {});
        ASSERT_EQ("", root.problem);
        EXPECT_NE(root.entries.end(), std::find_if(root.entries.begin(), root.entries.end(), [](const Entry& e) {
                      return e.name == "EX5" && e.folder;
                  }));
        EXPECT_EQ(std::vector<std::string>{"PADS/"}, NamesOf(ListArchiveFolder(index, {"ex5"})));
        const Listing padsFolder = ListArchiveFolder(index, {"EX5", "pads"});
        ASSERT_EQ(1U, padsFolder.entries.size());
        EXPECT_EQ("My Pads.s1a", padsFolder.entries[0].name);
        EXPECT_EQ(473004U, padsFolder.entries[0].size);

        EXPECT_EQ("there is no folder \"VOICES\" in the archive", ListArchiveFolder(index, {"VOICES"}).problem);
        EXPECT_EQ("\"DEMO.S1V\" in the archive is a file, not a folder", ListArchiveFolder(index, {"DEMO.S1V"}).problem);
    }
    const ArchiveIndex zip = IndexArchive(Fixture("voices.zip"));
    EXPECT_EQ((std::vector<std::string>{"DEMO.S1V", "EX5/", "Factory Sets/"}), NamesOf(ListArchiveFolder(zip, {})));
    EXPECT_EQ(std::vector<std::string>{"voices.s1y"}, NamesOf(ListArchiveFolder(zip, {"factory sets"})));
}

TEST(ArchiveTest, EntriesComeOutByteForByteFromMemoryAndFromFiles)
{
    const std::string demo = fixtures::Bytes(SONDERIK_DEMO_FILE);
    const std::string pads = fixtures::BankAs(VoiceFileBuilder::Kind::S1a);
    for (const char* name : {"voices.zip", "voices.7z", "voices.tar.gz"}) {
        SCOPED_TRACE(name);
        const std::string bytes = Fixture(name);
        const Contents read = ReadArchiveEntry(bytes, "DEMO.S1V");
        EXPECT_EQ("", read.problem);
        EXPECT_TRUE(read.bytes == demo);
        EXPECT_TRUE(ReadArchiveEntry(bytes, "EX5/PADS/My Pads.s1a").bytes == pads);
        EXPECT_TRUE(ReadArchiveEntry(bytes, "./ex5/pads/MY PADS.S1A").bytes == pads);
        EXPECT_TRUE(ReadArchiveEntryFile(fixtures::Path(name), "EX5/PADS/My Pads.s1a").bytes == pads);
        EXPECT_EQ("there is no \"EX5/X.S1V\" in the archive", ReadArchiveEntry(bytes, "EX5/X.S1V").problem);
    }
    EXPECT_EQ("\"EX5/PADS\" in the archive is a folder, not a file",
              ReadArchiveEntry(Fixture("voices.tar.gz"), "EX5/PADS").problem);
    EXPECT_EQ("", IndexArchiveFile(fixtures::Path("voices.7z")).problem);
}

TEST(ArchiveTest, ForeignCutShortOrMissingArchivesAreProblemsInWords)
{
    const std::string demo = fixtures::Bytes(SONDERIK_DEMO_FILE);
    const std::string notArchive = "this is not a zip, 7z, tar or other archive that can be read";
    EXPECT_EQ(notArchive, IndexArchive(demo).problem);
    EXPECT_EQ(notArchive, IndexArchive("").problem);
    EXPECT_EQ(notArchive, ReadArchiveEntry(demo, "DEMO.S1V").problem);

    // Cut anywhere, an archive gives each entry whole or says why not.
    const std::string zip = Fixture("voices.zip");
    const std::string demoBytes = demo;
    const std::string pads = fixtures::BankAs(VoiceFileBuilder::Kind::S1a);
    for (const std::size_t keep : {std::size_t{100}, zip.size() / 2, zip.size() - 10}) {
        SCOPED_TRACE(keep);
        const std::string_view cut = std::string_view(zip).substr(0, keep);
        const ArchiveIndex index = IndexArchive(cut);
        EXPECT_TRUE(index.problem.empty() || index.entries.empty());
        EXPECT_EQ(index.problem, ListArchiveFolder(index, {}).problem);
        for (const auto& [path, whole] : {std::make_pair("DEMO.S1V", &demoBytes),
                                          std::make_pair("EX5/PADS/My Pads.s1a", &pads)}) {
            const Contents read = ReadArchiveEntry(cut, path);
            EXPECT_TRUE(read.problem.empty() ? read.bytes == *whole : read.bytes.empty()) << path;
        }
    }
    EXPECT_NE("", IndexArchive(std::string_view(zip).substr(0, zip.size() / 2)).problem);
    EXPECT_NE("", ReadArchiveEntry(std::string_view(zip).substr(0, 100), "DEMO.S1V").problem);

    // Damage inside an entry's packed data, which its sum catches.
    std::string broken = zip;
    const std::size_t header = broken.find("PK\x03\x04");
    const std::size_t data = header + 30 + Le16(broken, header + 26) + Le16(broken, header + 28);
    broken[data + 200] = static_cast<char>(broken[data + 200] ^ 0x55);
    const Contents damaged = ReadArchiveEntry(broken, "DEMO.S1V");
    EXPECT_EQ(0U, damaged.problem.rfind("the archive is damaged (", 0)) << damaged.problem;
    EXPECT_TRUE(damaged.bytes.empty());
    EXPECT_TRUE(ReadArchiveEntry(broken, "EX5/PADS/My Pads.s1a").bytes == pads);

    const TempDir dir;
    EXPECT_EQ(0U, IndexArchiveFile(dir.File("gone.zip")).problem.rfind("the archive cannot be opened: ", 0));
    EXPECT_EQ("the archive is not a plain file", IndexArchiveFile(dir.Path().string()).problem);
    EXPECT_NE("", ReadArchiveEntryFile(dir.File("gone.zip"), "DEMO.S1V").problem);
}

TEST(ArchiveTest, AnEntryLargerThanTheLimitIsRefusedUnreadAndOneThatLiesIsStoppedAtTheLimit)
{
    const std::string bomb = Fixture("bomb.zip");
    const ArchiveIndex index = IndexArchive(bomb);
    ASSERT_EQ("", index.problem);
    ASSERT_EQ(1U, index.entries.size());
    EXPECT_EQ(8388608U, index.entries[0].size);
    const Contents refused = ReadArchiveEntry(bomb, "ZEROS.S1V");
    EXPECT_EQ("\"ZEROS.S1V\" is 8388608 bytes long, more than the 1048576 bytes read from an archive",
              refused.problem);
    EXPECT_EQ("", refused.bytes);
    EXPECT_EQ(8388608U, ReadArchiveEntry(bomb, "ZEROS.S1V", 8388608).bytes.size());

    // Both headers say 1000 bytes; the data says eight million.
    std::string lying = bomb;
    const auto setSize = [&lying](std::size_t at) { lying.replace(at, 4, std::string("\xE8\x03\0\0", 4)); };
    setSize(lying.find("PK\x03\x04") + 22);
    setSize(lying.find("PK\x01\x02") + 24);
    ASSERT_EQ(1000U, IndexArchive(lying).entries.at(0).size);
    const Contents stopped = ReadArchiveEntry(lying, "ZEROS.S1V");
    EXPECT_EQ("\"ZEROS.S1V\" unpacks to more than the 1048576 bytes read from an archive", stopped.problem);
    EXPECT_EQ("", stopped.bytes);
}

TEST(ArchiveTest, PathsThatLeaveTheArchiveOrHoldControlCharactersAreListedRefusedAndNeverRead)
{
    const std::string zip =
        Replaced(Replaced(Fixture("names.zip"), "aa_UP.TXT", "../UP.TXT"), "CTL_X.TXT", "CTL\x01X.TXT");
    const ArchiveIndex index = IndexArchive(zip);
    ASSERT_EQ("", index.problem);
    ASSERT_NE(nullptr, At(index, "../UP.TXT"));
    EXPECT_EQ("its path holds \"..\"", At(index, "../UP.TXT")->refused);
    ASSERT_NE(nullptr, At(index, "CTL\x01X.TXT"));
    EXPECT_EQ("its name holds a control character", At(index, "CTL\x01X.TXT")->refused);
    const Listing root = ListArchiveFolder(index, {});
    EXPECT_EQ((std::vector<std::string>{"../UP.TXT", "CTL\x01X.TXT", "DEMO.S1V"}), NamesOf(root));
    for (const Entry& e : root.entries) {
        EXPECT_EQ(e.name == "DEMO.S1V", e.refused.empty()) << e.name;
    }
    const Contents up = ReadArchiveEntry(zip, "../UP.TXT");
    EXPECT_EQ("that entry of the archive is not read: its path holds \"..\"", up.problem);
    EXPECT_EQ("", up.bytes);
    EXPECT_EQ("", ReadArchiveEntry(zip, "CTL\x01X.TXT").bytes);
    EXPECT_TRUE(ReadArchiveEntry(zip, "DEMO.S1V").bytes == fixtures::Bytes(SONDERIK_DEMO_FILE));

    const std::string tar = Tar({
        {"/etc/EVIL.S1V", '0', "absolute", ""},
        {"C:/EVIL.S1V", '0', "drive", ""},
        {"EX5\\EVIL.S1V", '0', "backslash", ""},
        {"EX5/../../EVIL.S1V", '0', "up", ""},
        {"EX5/LINK.S1V", '2', "", "/etc/passwd"},
        {"EX5/HARD.S1V", '1', "", "EX5/GOOD.S1V"},
        {"./EX5/GOOD.S1V", '0', "good", ""},
    });
    const ArchiveIndex odd = IndexArchive(tar);
    ASSERT_EQ("", odd.problem);
    ASSERT_EQ(7U, odd.entries.size());
    const char* const reasons[] = {"its path is absolute", "its path is absolute", "its name holds a backslash",
                                   "its path holds \"..\"", "it is a link or device, not a plain file",
                                   "it is a link to another entry", ""};
    for (std::size_t i = 0; i < odd.entries.size(); ++i) {
        const ArchiveEntry& e = odd.entries[i];
        SCOPED_TRACE(e.path);
        EXPECT_EQ(reasons[i], e.refused);
        EXPECT_NE('/', e.path.front());
        const Contents read = ReadArchiveEntry(tar, e.path);
        EXPECT_EQ(e.refused.empty() ? "good" : "", read.bytes);
    }
    EXPECT_EQ("etc/EVIL.S1V", odd.entries[0].path);
    EXPECT_EQ("EX5/GOOD.S1V", odd.entries[6].path);
    // Refused entries imply no folder: "etc" is not one.
    EXPECT_EQ((std::vector<std::string>{"../../EVIL.S1V", "GOOD.S1V", "HARD.S1V", "LINK.S1V"}),
              NamesOf(ListArchiveFolder(odd, {"EX5"})));
    EXPECT_EQ((std::vector<std::string>{"C:/EVIL.S1V", "EX5/", "EX5\\EVIL.S1V", "etc/EVIL.S1V"}),
              NamesOf(ListArchiveFolder(odd, {})));
}

}  // namespace
