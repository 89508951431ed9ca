// The folder tree over the shares of a mounts file of the test's own, which
// only the Linux build reads: the Network node's servers and shares, and
// the block its listing cannot have. The tree over either system is in
// BrowserBehaviourTest.cpp.
#include <filesystem>
#include <fstream>
#include <functional>

#include <QTest>
#include <QTreeView>

#include "platform/ui/QtAccess.h"
#include "app/SonderikDlg.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/TreeItems.h"

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

// A machine with drives C:, D: and X:, a settings folder and a virtual instrument.
class Machine {
public:
    Machine()
        : c_(world_.Folder("c")), d_(world_.Folder("d")), x_(world_.Folder("x")),
          drives_("SONDERIK_DRIVES", "C=" + c_.string() + ";D=" + d_.string() + ";X=" + x_.string()),
          old_(std::filesystem::current_path()),
          drivers_(ScopedMidiDrivers::Drivers{std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})})
    {
        std::filesystem::current_path(world_.Root());
    }
    ~Machine() { std::filesystem::current_path(old_); }
    FileWorld& World() { return world_; }
    const std::filesystem::path& C() const { return c_; }

    std::unique_ptr<Dlg> Open(const std::function<void(Dlg&)>& before = {})
    {
        auto dialog = std::make_unique<Dlg>();
        if (before) {
            before(*dialog);
        }
        dialog->SetMessageBox([](CDialog*, const std::string&, UINT) { return IDOK; });
        dialog->Create();
        if (!QTest::qWaitFor([&] { return !dialog->JobBusy(); }, 10000)) {
            qWarning("the identification did not report back");
        }
        return dialog;
    }
    void StorePath(const std::string& path)
    {
        Settings values;
        values.path = path;
        MemorySettings view(values);
        SaveSettings(view);
    }

private:
    FileWorld world_;
    std::filesystem::path c_;
    std::filesystem::path d_;
    std::filesystem::path x_;
    ScopedEnv drives_;
    std::filesystem::path old_;
    ScopedMidiDrivers drivers_;
};

}  // namespace

class BrowserTest : public QObject {
    Q_OBJECT

private slots:
    void sharesFromTheMountsFile()
    {
        Machine machine;
        const std::filesystem::path share = machine.World().Folder("mnt/voices");
        Touch(share / "Sub" / "pad.s1v");
        Touch(share / "top.s1v");
        machine.World().Mounts({FileWorld::Mount(share.string(), "cifs", "//BOX/Voices")});
        machine.StorePath("\\\\BOX\\Voices\\Sub\\");
        auto dialog = machine.Open();
        CTreeCtrl& tree = dialog->Tree();
        HTREEITEM network = dialog->Browser().NetworkNode();
        QCOMPARE(Children(tree, network), (std::vector<std::string>{"Box"}));
        HTREEITEM box = Child(tree, network, "Box");
        QCOMPARE(Children(tree, box), (std::vector<std::string>{"Voices"}));
        HTREEITEM voices = Child(tree, box, "Voices");
        QCOMPARE(dialog->Browser().GetItemPath(voices), std::string("\\\\BOX\\Voices\\"));
        QCOMPARE(dialog->CurrentPath(), std::string("\\\\BOX\\Voices\\Sub\\"));
        QCOMPARE(Files(dialog->FileList()), (std::vector<std::string>{"pad.s1v"}));
        // A server selected: no folder, no files.
        tree.SelectItem(box);
        QCOMPARE(dialog->CurrentPath(), std::string());
        QCOMPARE(dialog->FileList().GetCount(), 0);
        tree.SelectItem(voices);
        QCOMPARE(Files(dialog->FileList()), (std::vector<std::string>{"top.s1v"}));
        // Closing takes the tree apart, records and all (ASan watches).
        QTest::keyClick(ui::qt::DialogWindowOf(*dialog), Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !ui::qt::DialogWindowOf(*dialog)->isVisible(); }, 5000));
        QCOMPARE(tree.GetCount(), 0);
        QCOMPARE(StartSettings().path, std::string("\\\\BOX\\Voices\\"));
    }

    void aNetworkBlockThatCannotBeHadShowsTheNetworkWithoutChildren()
    {
        Machine machine;
        const std::filesystem::path share = machine.World().Folder("mnt/voices");
        machine.World().Mounts({FileWorld::Mount(share.string(), "cifs", "//BOX/Voices")});
        int asked = 0;
        auto dialog = machine.Open([&asked](Dlg& d) {
            d.Browser().allocateBlock = [&asked](UINT, SIZE_T) -> HGLOBAL {
                ++asked;
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            };
        });
        CTreeCtrl& tree = dialog->Tree();
        HTREEITEM network = dialog->Browser().NetworkNode();
        QVERIFY(tree.GetSelectedItem() == network);
        QCOMPARE(asked, 1);
        QVERIFY(Children(tree, network).empty());
        QVERIFY(!tree.ItemHasChildren(network));
    }

};

QTEST_MAIN(BrowserTest)
#include "BrowserTest.moc"
