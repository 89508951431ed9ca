#include "browser/VoiceSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "browser/VoiceIndex.h"
#include "tests/containers/ContainerFixtures.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/VoiceFileBuilder.h"

namespace {

namespace fs = std::filesystem;
using Kind = VoiceFileBuilder::Kind;

// A collection on drive C: of a machine of the test's own, with the index
// in a cache folder of its own.
class Collection {
public:
    Collection() { fs::create_directories(Cache()); }

    fs::path Root() const { return world_.Root() / "c"; }
    fs::path Cache() const { return world_.Root() / "cache"; }
    fs::path IndexFile() const { return Cache() / "voice-index"; }

    // A voice file whose voice 5 (I1-006) and voice 200 (I2-073) are named
    // and categorised as given; the other voices are "Init Voice".
    void Bank(const std::string& relative, Kind kind, const std::string& five, std::uint8_t fiveCategory,
              const std::string& twoHundred = "Init Voice", std::uint8_t twoHundredCategory = 0) const
    {
        VoiceFileBuilder bank;
        for (int voice = 0; voice < 256; ++voice) {
            bank.Voice(voice, "Init Voice", 0);
        }
        bank.Voice(5, five, fiveCategory).Voice(200, twoHundred, twoHundredCategory);
        fs::create_directories((Root() / relative).parent_path());
        bank.Write((Root() / relative).string(), kind);
    }
    void Fixture(const std::string& name, const std::string& relative) const
    {
        fs::create_directories((Root() / relative).parent_path());
        fs::copy_file(fixtures::Path(name), Root() / relative, fs::copy_options::overwrite_existing);
    }

    // Every file and folder made an hour old (plus `seconds`), as a
    // collection is that was not changed just now: the index keeps nothing
    // changed in the last moments, which could change again unseen.
    void Age(int seconds = 0) const
    {
        const auto then = fs::file_time_type::clock::now() - std::chrono::hours(1) + std::chrono::seconds(seconds);
        for (const auto& entry : fs::recursive_directory_iterator(Root())) {
            if (!entry.is_symlink()) {
                fs::last_write_time(entry.path(), then);
            }
        }
        fs::last_write_time(Root(), then);
    }
    void AgeOne(const std::string& relative, int seconds) const
    {
        fs::last_write_time(Root() / relative,
                            fs::file_time_type::clock::now() - std::chrono::hours(1) + std::chrono::seconds(seconds));
    }

    browser::SearchResult Search(const std::string& text, const std::string& folder = "C:\\",
                                 const std::string& category = "") const
    {
        browser::SearchRequest request;
        request.folder = folder;
        request.text = text;
        request.category = category;
        return browser::SearchVoices(request);
    }

private:
    FileWorld world_;
    ScopedEnv drives_{"SONDERIK_DRIVES", "C=" + world_.Folder("c").string()};
    ScopedEnv cache_{"SONDERIK_CACHE_DIR", (world_.Root() / "cache").string()};
};

// "FILE I1-006 code name" for each hit.
std::vector<std::string> Lines(const browser::SearchResult& result)
{
    std::vector<std::string> lines;
    for (const browser::VoiceHit& hit : result.hits) {
        lines.push_back(hit.file + ' ' + std::string(hit.BankNumber()) + ' ' + std::string(hit.Category()) + ' ' +
                        std::string(hit.Name()));
    }
    return lines;
}

TEST(VoiceSearchTest, FindsNamesInEveryFolderImageAndArchiveByPathThenVoice)
{
    Collection c;
    c.Bank("Pads.S1V", Kind::S1v, "Quasar PAD", 12, "Pad QUASARS", 12);
    c.Bank("b/deep/er/Strings.s1a", Kind::S1a, "quasar str", 6);
    c.Bank("other/Other.s1y", Kind::S1y, "Glass Grand", 1);
    c.Fixture("floppy-720.img", "disks/DSKA0001.IMG");
    c.Fixture("voices.zip", "disks/sets.zip");
    fs::create_directories(c.Root() / "folder.s1v");  // a folder named like a voice file
    std::ofstream(c.Root() / "broken.s1v") << "too short";
    fs::create_directories(c.Root() / "links");
    fs::create_directory_symlink(c.Root(), c.Root() / "links" / "back-up");  // a loop

    // In the order of the paths' bytes, names padded as the list has them.
    const browser::SearchResult warm = c.Search("qUASAR");
    EXPECT_TRUE(warm.problem.empty());
    EXPECT_EQ((std::vector<std::string>{"C:\\Pads.S1V I1-006 Pd Quasar PAD  ", "C:\\Pads.S1V I2-073 Pd Pad QUASARS ",
                                        "C:\\b\\deep\\er\\Strings.s1a I1-006 St quasar str  "}),
              Lines(warm));
    ASSERT_EQ(1u, warm.problems.size());
    EXPECT_EQ("C:\\broken.s1v", warm.problems[0].path);
    EXPECT_NE(std::string::npos, warm.problems[0].reason.find("ends before")) << warm.problems[0].reason;

    EXPECT_EQ((std::vector<std::string>{"C:\\Pads.S1V I1-006 Pd Quasar PAD  ", "C:\\Pads.S1V I2-073 Pd Pad QUASARS "}),
              Lines(c.Search("quasar", "C:\\", "pd")));

    // The demo bank's "Glass Grand" is four of its voices: in the image and
    // in each of the archive's three files.
    const std::vector<std::string> glass = Lines(c.Search("glass grand", "C:\\DISKS\\"));
    ASSERT_EQ(20u, glass.size());
    EXPECT_EQ("C:\\DISKS\\DSKA0001.IMG\\DEMO.S1V I1-002 Pf Glass Grand ", glass[0]);
    EXPECT_EQ("C:\\DISKS\\DSKA0001.IMG\\EX5\\PADS\\My Pads.s1a I1-002 Pf Glass Grand ", glass[4]);
    EXPECT_EQ("C:\\DISKS\\sets.zip\\DEMO.S1V I2-087 Pf Glass Grand ", glass[11]);
    EXPECT_EQ("C:\\DISKS\\sets.zip\\Factory Sets\\voices.s1y I2-087 Pf Glass Grand ", glass[19]);

    // A path of this system is shown by its Windows path; one inside an
    // image or archive walks only what is below it.
    EXPECT_EQ(Lines(c.Search("glass grand", "C:\\disks\\")), Lines(c.Search("glass grand", (c.Root() / "disks").string())));
    const std::vector<std::string> inZip = Lines(c.Search("glass grand", (c.Root() / "disks" / "sets.zip" / "EX5").string()));
    ASSERT_EQ(4u, inZip.size());
    EXPECT_EQ("C:\\disks\\sets.zip\\EX5\\PADS\\My Pads.s1a I1-002 Pf Glass Grand ", inZip[0]);

    // "Init Voice" is left out, as the list leaves it out, unless asked for.
    EXPECT_TRUE(c.Search("init").hits.empty());
    browser::SearchRequest inits;
    inits.folder = "C:\\b\\";
    inits.text = "init";
    inits.showInits = true;
    EXPECT_EQ(255u, browser::SearchVoices(inits).hits.size());

    EXPECT_EQ("Cannot find the folder", c.Search("x", "C:\\gone\\").problem);
    EXPECT_EQ("Cannot find the folder", c.Search("x", "C:\\Pads.S1V").problem);

    const std::atomic<bool> cancel{true};
    browser::SearchRequest cancelled;
    cancelled.folder = "C:\\";
    cancelled.cancel = &cancel;
    const browser::SearchResult stopped = browser::SearchVoices(cancelled);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_TRUE(stopped.hits.empty());
}

TEST(VoiceSearchTest, TheIndexSparesWhatDidNotChangeAndNeverWhatDid)
{
    Collection c;
    c.Bank("A.s1v", Kind::S1v, "Alpha Qux", 12);
    c.Bank("sub/B.s1v", Kind::S1v, "Beta Qux", 12);
    c.Bank("sub/C.s1a", Kind::S1a, "Gamma Qux", 12);
    c.Fixture("floppy-720.img", "disks/DSKA0001.IMG");

    // Just made: read, and not kept, as it may change again within the tick.
    const browser::SearchResult fresh = c.Search("pad");
    EXPECT_EQ(5u, fresh.stats.filesRead);
    EXPECT_FALSE(fs::exists(c.IndexFile()));

    c.Age();
    const browser::SearchResult first = c.Search("pad");
    EXPECT_EQ(5u, first.stats.filesRead);
    EXPECT_TRUE(first.stats.indexWritten);
    const auto written = fs::last_write_time(c.IndexFile());

    const browser::SearchResult second = c.Search("pad");
    EXPECT_EQ(0u, second.stats.filesRead);
    EXPECT_EQ(0u, second.stats.foldersListed);
    EXPECT_EQ(5u, second.stats.filesFromIndex);
    EXPECT_FALSE(second.stats.indexWritten);
    EXPECT_EQ(written, fs::last_write_time(c.IndexFile())) << "nothing changed, nothing written";
    EXPECT_EQ(Lines(first), Lines(second));
    EXPECT_EQ(Lines(fresh), Lines(second));

    // A file rewritten: read again, the others not.
    c.Bank("sub/B.s1v", Kind::S1v, "Beta Lead", 11);
    c.AgeOne("sub/B.s1v", 7);
    const browser::SearchResult changed = c.Search("beta");
    EXPECT_EQ(1u, changed.stats.filesRead);
    EXPECT_EQ((std::vector<std::string>{"C:\\sub\\B.s1v I1-006 Ld Beta Lead   "}), Lines(changed));

    // The same size and time, but rewritten in place: its status changed.
    const auto stamp = fs::last_write_time(c.Root() / "sub" / "B.s1v");
    c.Bank("sub/B.s1v", Kind::S1v, "Beta Bass", 5);
    fs::last_write_time(c.Root() / "sub" / "B.s1v", stamp);
    EXPECT_EQ((std::vector<std::string>{"C:\\sub\\B.s1v I1-006 Ba Beta Bass   "}), Lines(c.Search("beta")));

    // A file gone and one added: the folder is listed again, the gone
    // file's record dropped.
    fs::remove(c.Root() / "sub" / "C.s1a");
    c.Bank("sub/D.s1y", Kind::S1y, "Delta Qux", 12);
    c.AgeOne("sub/D.s1y", 20);
    c.AgeOne("sub", 20);
    const browser::SearchResult listed = c.Search("qux");
    EXPECT_EQ(1u, listed.stats.foldersListed);
    EXPECT_EQ(1u, listed.stats.filesRead);
    EXPECT_EQ((std::vector<std::string>{"C:\\A.s1v I1-006 Pd Alpha Qux   ", "C:\\sub\\D.s1y I1-006 Pd Delta Qux   "}),
              Lines(listed));
    EXPECT_EQ(5u, browser::VoiceIndex(c.IndexFile()).FileCount());

    // An image rewritten in place, its folder unchanged: what it holds now.
    c.Fixture("floppy-1440.img", "disks/DSKA0001.IMG");
    c.AgeOne("disks/DSKA0001.IMG", 30);
    const browser::SearchResult image = c.Search("glass grand", "C:\\disks\\");
    EXPECT_EQ(3u, image.stats.filesRead);
    EXPECT_EQ("C:\\disks\\DSKA0001.IMG\\Factory Sets\\voices.s1y I2-087 Pf Glass Grand ", Lines(image).back());

    // A search of a part of the collection keeps the rest of the index.
    c.Search("qux", "C:\\sub\\");
    EXPECT_EQ(0u, c.Search("qux").stats.filesRead);
}

// The index only saves time: whatever its file holds, or wherever it cannot
// be written, the search finds the same voices.
TEST(VoiceSearchTest, ABrokenOrUnwritableIndexChangesNothingButTheTime)
{
    Collection c;
    c.Bank("A.s1v", Kind::S1v, "Alpha Pad", 12);
    c.Bank("sub/B.s1v", Kind::S1v, "Beta Pad", 12);
    c.Fixture("voices.zip", "sets.zip");
    c.Age();
    const std::vector<std::string> expected = Lines(c.Search("a"));
    ASSERT_FALSE(expected.empty());
    const std::string good = fixtures::Bytes(c.IndexFile().string());

    std::vector<std::string> damaged = {"", "not an index at all", good.substr(0, 30)};
    for (std::size_t cut = 1; cut < good.size(); cut += good.size() / 37) {
        damaged.push_back(good.substr(0, cut));
    }
    std::string otherVersion = good;
    otherVersion[21] = '\x7f';
    damaged.push_back(otherVersion);
    std::string hugeLength = good;
    hugeLength.replace(34, 4, "\xff\xff\xff\x7f");  // the first record's length
    damaged.push_back(hugeLength);
    for (const std::string& bytes : damaged) {
        { std::ofstream(c.IndexFile(), std::ios::binary | std::ios::trunc) << bytes; }
        const browser::SearchResult rebuilt = c.Search("a");
        EXPECT_EQ(expected, Lines(rebuilt)) << bytes.size() << " bytes";
        EXPECT_TRUE(rebuilt.stats.indexWritten) << bytes.size() << " bytes";
        EXPECT_EQ(0u, c.Search("a").stats.filesRead) << "rebuilt whole from " << bytes.size() << " bytes";
    }

    // A cache folder that cannot be made: searched all the same.
    const ScopedEnv blocked("SONDERIK_CACHE_DIR", (c.IndexFile() / "below-a-file").string());
    const browser::SearchResult unwritable = c.Search("a");
    EXPECT_EQ(expected, Lines(unwritable));
    EXPECT_FALSE(unwritable.stats.indexWritten);
}

}  // namespace
