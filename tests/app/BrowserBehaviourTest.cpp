// The folder tree and the file list over either window system: the first
// start's Network node, the re-open walk and its skip rule, display names,
// lazy expansion, and the parts of a path. Off Windows the drives are the
// test's own (SONDERIK_DRIVES); on Windows they are the system's, and the
// test's folders sit in a temporary folder on one of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app/SonderikDlg.h"
#include "browser/BrowserNames.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TreeItems.h"
#include "tests/support/TreePath.h"
#include "tests/support/UiDriver.h"
#ifdef _WIN32
#include "tests/support/ConfigFolder.h"
#include "tests/support/TempDir.h"
#else
#include "tests/support/FileWorld.h"
#endif

namespace {

using Dlg = CSonderikDlg;

void Touch(const std::filesystem::path& file)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "x";
}

std::vector<std::string> Files(const CListBox& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.GetCount(); ++i) {
        lines.push_back(list.GetText(i));
    }
    return lines;
}

// Settings of the test's own, a folder of the test's own that the browser
// reaches (Base(), as it names it) and a virtual instrument. Off Windows the
// machine has the drives C: (the folder), D: and X:.
class Machine {
public:
    Machine()
        :
#ifndef _WIN32
          c_(world_.Folder("c")), d_(world_.Folder("d")), x_(world_.Folder("x")),
          drives_("SONDERIK_DRIVES", "C=" + c_.string() + ";D=" + d_.string() + ";X=" + x_.string()),
#else
          c_(temp_.Path()),
#endif
          old_(std::filesystem::current_path()),
          drivers_(ScopedMidiDrivers::Drivers{std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})})
    {
        std::filesystem::current_path(c_);
    }
    ~Machine() { std::filesystem::current_path(old_); }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The test's folder, and the same as the browser names it.
    const std::filesystem::path& C() const { return c_; }
    std::string Base() const
    {
#ifdef _WIN32
        return c_.string() + "\\";
#else
        return "C:\\";
#endif
    }

    std::unique_ptr<Dlg> Open(const std::function<void(Dlg&)>& before = {})
    {
        auto dialog = std::make_unique<Dlg>();
        if (before) {
            before(*dialog);
        }
        dialog->SetMessageBox([](CDialog*, const std::string&, UINT) { return IDOK; });
        dialog->Create();
        EXPECT_TRUE(uitest::PumpUntil([&] { return !dialog->JobBusy(); })) << "the identification did not report back";
        return dialog;
    }
    static void StorePath(const std::string& path)
    {
        Settings values;
        values.path = path;
        MemorySettings view(values);
        SaveSettings(view);
    }

private:
#ifndef _WIN32
    FileWorld world_;
    std::filesystem::path c_;
    std::filesystem::path d_;
    std::filesystem::path x_;
    ScopedEnv drives_;
#else
    ConfigFolder config_;
    TempDir temp_;
    std::filesystem::path c_;
#endif
    std::filesystem::path old_;
    ScopedMidiDrivers drivers_;
};

}  // namespace

TEST(BrowserTest, AFirstStartOpensTheNetworkNode)
{
    Machine machine;
    auto dialog = machine.Open();
    CTreeCtrl& tree = dialog->Tree();
    const std::vector<std::string> roots = Children(tree, TVI_ROOT);
#ifdef _WIN32
    // The system's drives, and the Network node among them by its name.
    EXPECT_NE(roots.end(), std::find(roots.begin(), roots.end(), "C:"));
    EXPECT_NE(roots.end(), std::find(roots.begin(), roots.end(), "Network"));
    EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end(), browser::ShownBefore));
#else
    EXPECT_EQ((std::vector<std::string>{"C:", "D:", "Network", "X:"}), roots);
    // No shares mounted: the Network node loses its button.
    EXPECT_FALSE(tree.ItemHasChildren(dialog->Browser().NetworkNode()));
#endif
    EXPECT_EQ(dialog->Browser().NetworkNode(), tree.GetSelectedItem());
    EXPECT_EQ("", dialog->CurrentPath());
    EXPECT_EQ("", dialog->GetDlgItem(Dlg::IDC_PATH)->GetWindowText());
    EXPECT_EQ(0, dialog->FileList().GetCount());
}

TEST(BrowserTest, ASavedFolderReopensThroughTheSkipRuleAndListsItsFiles)
{
    Machine machine;
    for (const char* name : {"alpha.s1y", "BETA.S1V", "gamma.s1a", "notes.txt"}) {
        Touch(machine.C() / "MUSIC" / "EX5" / name);
    }
    std::filesystem::create_directories(machine.C() / "MUSIC" / "EX5" / "bank.s1a");
    std::filesystem::create_directories(machine.C() / "Other");
    Machine::StorePath(machine.Base() + "Gone\\Music\\ex5\\");
    auto dialog = machine.Open();
    CTreeCtrl& tree = dialog->Tree();
    HTREEITEM base = ItemOfPath(tree, machine.Base());
    ASSERT_NE(nullptr, base);
    EXPECT_EQ((std::vector<std::string>{"Music", "Other"}), Children(tree, base));
    HTREEITEM music = Child(tree, base, "Music");
    ASSERT_NE(nullptr, music);
    HTREEITEM ex5 = Child(tree, music, "Ex5");
    ASSERT_NE(nullptr, ex5);
    EXPECT_EQ(ex5, tree.GetSelectedItem());
    const std::string shown = machine.Base() + "Music\\Ex5\\";
    EXPECT_EQ(shown, dialog->CurrentPath());
    EXPECT_EQ(shown, dialog->GetDlgItem(Dlg::IDC_PATH)->GetWindowText());
    EXPECT_EQ((std::vector<std::string>{"alpha.s1y", "bank.s1a", "BETA.S1V", "gamma.s1a"}), Files(dialog->FileList()));
    EXPECT_FALSE(Children(tree, ex5).empty());  // bank.s1a is a folder

    // Lazy: a folder of files only loses its button; collapsing and
    // expanding again reads nothing and keeps the selection.
    HTREEITEM bank = Child(tree, ex5, "bank.s1a");
    ASSERT_NE(nullptr, bank);
    tree.Expand(bank, TVE_EXPAND);
    EXPECT_FALSE(tree.ItemHasChildren(bank));
    EXPECT_EQ(bank, tree.GetSelectedItem());
    tree.SelectItem(ex5);
    std::filesystem::create_directories(machine.C() / "Music" / "Late");
    tree.Expand(base, TVE_COLLAPSE);
    tree.Expand(base, TVE_EXPAND);
    EXPECT_EQ((std::vector<std::string>{"Music", "Other"}), Children(tree, base));
    EXPECT_EQ(ex5, tree.GetSelectedItem());

    // Closing takes the tree apart and keeps the folder.
    uitest::PressKey(*dialog, uitest::Key::Escape);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !dialog->IsWindowVisible(); }));
    EXPECT_EQ(0, tree.GetCount());
    EXPECT_EQ(shown, StartSettings().path);
}

TEST(BrowserTest, APathIsSplitAtItsBackslashes)
{
    const struct {
        std::string path;
        std::vector<std::string> components;
    } cases[] = {
        {"C:\\Music\\", {"C:", "Music", ""}},
        {"\\\\SERVER\\Voices\\", {"", "", "SERVER", "Voices", ""}},
        {"", {""}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> found;
        std::string component;
        for (int i = 0; FolderBrowser::GetPathComponent(c.path, i, component); ++i) {
            found.push_back(component);
        }
        EXPECT_EQ(c.components, found) << c.path;
    }
}
