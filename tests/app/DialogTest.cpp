// The main dialog against the built-in virtual instrument, offscreen: start-up
// with and without settings, the enabling table, "ID", the voice list and its
// two boxes, sending, the refusals, ending while a job runs, and close.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "app/SonderikDlg.h"
#include "app/Settings.h"
#include "platform/midi/MidiDriver.h"
#include "platform/ui/QtAccess.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

QSize Extent(const SIZE& size) { return QSize(size.cx, size.cy); }
QRect Place(const RECT& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

using Dlg = CSonderikDlg;

// A config folder, a current folder for the log, a drive C: of the test's
// own and a virtual instrument.
class Bench {
public:
    explicit Bench(const virtual_ex5::Config& instrument = {})
        : config_("SONDERIK_CONFIG_DIR", (temp_.Path() / "config").string()),
          drives_("SONDERIK_DRIVES", "C=" + temp_.Path().string()),
          old_(std::filesystem::current_path()), ex5_(std::make_shared<VirtualEX5Driver>(instrument)), drivers_({ex5_})
    {
        std::filesystem::current_path(temp_.Path());
        std::filesystem::create_directories(Voices());
    }
    ~Bench() { std::filesystem::current_path(old_); }
    // Other drivers until the bench goes (a device plugged in, the ports gone).
    void Install(ScopedMidiDrivers::Drivers drivers) const { drivers_.Install(std::move(drivers)); }
    std::filesystem::path Voices() const { return temp_.Path() / "voices"; }
    // The voices' folder as the browser names it.
    std::string Folder() const { return "C:\\voices\\"; }
    virtual_ex5::Received Received() const { return ex5_->Instrument().GetReceived(); }
    std::shared_ptr<VirtualEX5Driver> Driver() const { return ex5_; }
    void Clear() { ex5_->Instrument().Clear(); }
    std::string Log() const
    {
        std::ifstream in(temp_.Path() / "Sonderik.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Settings as a previous run left them: the virtual instrument's ports.
    void Store(const std::string& path, std::uint32_t deviceNo = 1, std::uint32_t midiDelay = 0)
    {
        Settings values = Stored(path);
        values.midiDelay = midiDelay;
        values.deviceNo = deviceNo;
        Store(values);
    }
    static Settings Stored(const std::string& path)
    {
        Settings values;
        values.path = path;
        values.midiIn = 0;
        values.midiOut = 0;
        values.sysexDelay = 0;
        values.midiDelay = 0;
        return values;
    }
    static void Store(const Settings& values)
    {
        MemorySettings view(values);
        SaveSettings(view);
    }

private:
    TempDir temp_;
    ScopedEnv config_;
    ScopedEnv drives_;
    std::filesystem::path old_;
    std::shared_ptr<VirtualEX5Driver> ex5_;
    ScopedMidiDrivers drivers_;
};

std::string Contents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Boxes {
    std::vector<std::string> shown;
};

std::unique_ptr<Dlg> Open(Boxes& boxes, const std::function<void(Dlg&)>& before = {})
{
    auto dialog = std::make_unique<Dlg>();
    if (before) {
        before(*dialog);
    }
    dialog->SetMessageBox([&boxes](CDialog*, const std::string& text, UINT type) {
        boxes.shown.push_back(text + ((type & MB_ICONEXCLAMATION) != 0 ? " (!)" : ""));
        return IDOK;
    });
    dialog->Create();
    return dialog;
}

bool Idle(const Dlg& dialog) { return QTest::qWaitFor([&] { return !dialog.JobBusy(); }, 10000); }

bool Enabled(const Dlg& dialog, int id) { return dialog.GetDlgItem(id)->IsWindowEnabled(); }

void Click(Dlg& dialog, int id) { QTest::mouseClick(ui::qt::WidgetOf(*dialog.GetDlgItem(id)), Qt::LeftButton); }

void ClickLine(CListBox& list, int row, bool twice = false)
{
    auto* view = qobject_cast<QListView*>(ui::qt::WidgetOf(list));
    view->doItemsLayout();
    view->scrollTo(view->model()->index(row, 0));
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }
}

int LineOf(const CListBox& list, const std::string& prefix)
{
    for (int i = 0; i < list.GetCount(); ++i) {
        if (list.GetText(i).rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return -1;
}

void CloseUp(Dlg& dialog, int id)
{
    auto* box = qobject_cast<QComboBox*>(ui::qt::WidgetOf(*dialog.GetDlgItem(id)));
    box->showPopup();
    box->hidePopup();
}

// Enter pressed in a number field, where it is the dialog's OK command.
void PressEnterIn(Dlg& dialog, int id)
{
    QWidget* field = ui::qt::WidgetOf(*dialog.GetDlgItem(id));
    field->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(field, Qt::Key_Return);
}

// Puts a file into the file list and selects it as the user does.
void SelectFile(Dlg& dialog, const std::string& name)
{
    CListBox& files = dialog.FileList();
    if (files.FindStringExact(-1, name) < 0) {
        files.AddString(name);
    }
    ClickLine(files, files.FindStringExact(-1, name));
}

VoiceFileBuilder Bank()
{
    VoiceFileBuilder bank;
    bank.Voice(0, "Zeta Pad", 15).Element(0, 0, 1);
    bank.Voice(1, "Glass Grand", 13).Element(1, 0, 2);
    bank.Element(1, 1, 3);
    bank.Voice(2, "Init Voice", 0).Element(2, 0, 4);
    bank.Voice(3, "Big Kit", 17).Element(3, 0, 5);
    bank.Voice(200, "Alpha Bass", 0).Element(200, 0, 6);
    return bank;
}

// The dialog on the settings a previous run left, its start-up job done and
// the bank `name` (Bank()) selected; null when the job never reported back.
std::unique_ptr<Dlg> OpenOnBank(Bench& bench, Boxes& boxes, const std::string& name = "bank.s1v",
                                VoiceFileBuilder::Kind kind = VoiceFileBuilder::Kind::S1v)
{
    Bank().Write((bench.Voices() / name).string(), kind);
    bench.Store(bench.Folder());
    auto dialog = Open(boxes);
    if (!Idle(*dialog)) {
        return nullptr;
    }
    SelectFile(*dialog, name);
    return dialog;
}

// The same after a voice of it was sent, which makes the audition buttons
// available.
std::unique_ptr<Dlg> OpenAfterASend(Bench& bench, Boxes& boxes)
{
    auto dialog = OpenOnBank(bench, boxes);
    if (!dialog) {
        return nullptr;
    }
    ClickLine(dialog->VoiceList(), 1, true);
    return Idle(*dialog) ? std::move(dialog) : nullptr;
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartHasNoPortsAndReportsBack()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        QCOMPARE(ui::qt::DialogWindowOf(*dialog)->windowTitle(), QStringLiteral("Sonderik"));
        QVERIFY2(!ui::qt::DialogWindowOf(*dialog)->windowIcon().isNull(), "the title bar shows the program's icon");
        QCOMPARE(ui::qt::DialogWindowOf(*dialog)->minimumSize(), Extent(dialog->TemplateSize()));
        QCOMPARE(ui::qt::DialogWindowOf(*dialog)->size(), Extent(dialog->TemplateSize()));
        QCOMPARE(dialog->Version(), std::string("1.0.3"));
        // Start-up, before the identification reports back.
        QVERIFY(!Enabled(*dialog, Dlg::IDC_ID));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_QUIT));
        for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL, Dlg::IDC_CATORDER,
                       Dlg::IDC_SHOWINITS}) {
            QVERIFY(!Enabled(*dialog, id));
        }
        auto* in = static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIIN));
        auto* out = static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIOUT));
        QCOMPARE(in->GetCount(), 1);
        QCOMPARE(in->GetCurSel(), -1);
        QCOMPARE(out->GetCurSel(), -1);
        QVERIFY(Idle(*dialog));
        QVERIFY(Enabled(*dialog, Dlg::IDC_QUIT));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_ID));
        QVERIFY(dialog->TreeFilled());
        QVERIFY(bench.Log().find("Cannot open MIDI device") != std::string::npos);
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_DEVICENO)->GetWindowText(), std::string("1"));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->GetWindowText(), std::string("0"));
        QVERIFY(boxes.shown.empty());
    }

    void startWithSettingsIdentifiesTheInstrument()
    {
        Bench bench;
        bench.Store(bench.Folder());
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string("EX5"));
        QCOMPARE(dialog->CurrentPath(), bench.Folder());
        QCOMPARE(bench.Received().identityRequests, 1u);
        // "ID" waits for a port list to be closed up.
        QVERIFY(!Enabled(*dialog, Dlg::IDC_ID));
        CloseUp(*dialog, Dlg::IDC_MIDIOUT);
        QVERIFY(Enabled(*dialog, Dlg::IDC_ID));
        Click(*dialog, Dlg::IDC_ID);
        QVERIFY(!Enabled(*dialog, Dlg::IDC_ID));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_QUIT));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string());
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string("EX5"));
        QCOMPARE(bench.Received().identityRequests, 2u);
        QVERIFY2(dialog->StatusText().empty(), "the line of the request waited for goes with the answer");
    }

    void theJobsLogInTheFolderTheyAreGivenAndTheStatusLineNamesIt()
    {
        Bench bench;
        bench.Store(bench.Folder());
        const std::filesystem::path root = bench.Voices().parent_path();
        Bank().Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
        Boxes boxes;
        auto dialog = Open(boxes, [&](Dlg& d) { d.SetLogFolder((root / "logs").string()); });
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string("EX5"));
        QVERIFY(Contents(root / "logs" / "Sonderik.log").find("Finished instrument ident") != std::string::npos);
        QVERIFY2(bench.Log().empty(), "nothing is written in the current folder");
        QCOMPARE(std::filesystem::current_path(), root);
        dialog.reset();

        // A folder under a file cannot be made: both jobs say which folder.
        std::ofstream(root / "plain") << "a file, not a folder";
        const std::string blocked = (root / "plain" / "logs").string();
        const std::string advice = ": Sonderik.log cannot be written in " + blocked +
                                   ". Start Sonderik with --log-dir DIR to choose another folder.";
        dialog = Open(boxes, [&](Dlg& d) { d.SetLogFolder(blocked); });
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->StatusText(), "Not identified" + advice);
        SelectFile(*dialog, "bank.s1v");
        ClickLine(dialog->VoiceList(), 1, true);
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->StatusText(), "I1-002 Glass Grand was not sent" + advice);
    }

    void aSettingsFileThatCannotBeReadIsNamedInTheStatusLine()
    {
        Bench bench;
        const std::filesystem::path file = bench.Voices().parent_path() / "config" / "HKEY_LOCAL_MACHINE.txt";
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "not a settings file";
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        const std::string status = dialog->StatusText();
        QVERIFY2(status.rfind("Settings could not be read; built-in values are used. The file was set aside as " +
                                  file.string() + ".corrupt-",
                              0) == 0,
                 status.c_str());
        QCOMPARE(ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_STATUS))->toolTip().toStdString(), status);
    }

    void closingUpDuringAJobWaitsForItsEnd()
    {
        Bench bench;
        bench.Store(bench.Folder());
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(dialog->JobRunning());
        CloseUp(*dialog, Dlg::IDC_MIDIIN);
        QVERIFY(!Enabled(*dialog, Dlg::IDC_ID));
        QVERIFY(Idle(*dialog));
        QVERIFY(Enabled(*dialog, Dlg::IDC_ID));
    }

    void selectingAFileListsItsVoicesInBothOrders()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        QVERIFY2(dialog->StatusText().empty(), dialog->StatusText().c_str());
        QVERIFY(Enabled(*dialog, Dlg::IDC_CATORDER));
        QVERIFY(Enabled(*dialog, Dlg::IDC_SHOWINITS));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_NOTE));
        CListBox& voices = dialog->VoiceList();
        QCOMPARE(voices.GetCount(), 255);  // one "Init Voice" hidden
        const VoiceFileBuilder bank = Bank();
        const BankImage& image = bank.Image();
        QCOMPARE(voices.GetText(0), VoiceListLine(image, 0));
        QCOMPARE(voices.GetText(1), VoiceListLine(image, 1));

        // Cat Order, then Show Inits in sorted order, then back.
        ClickLine(voices, 1);
        QWidget* before = ui::qt::WidgetOf(voices);
        Click(*dialog, Dlg::IDC_CATORDER);
        QVERIFY(ui::qt::WidgetOf(voices) != before);
        QVERIFY((voices.GetStyle() & LBS_SORT) != 0);
        QCOMPARE(voices.GetCount(), 255);
        QCOMPARE(voices.GetText(voices.GetCurSel()), VoiceListLine(image, 1));
        QCOMPARE(voices.GetText(0), VoiceListLine(image, 3));  // Dr sorts first here
        QCOMPARE(voices.GetText(voices.GetCount() - 1).substr(0, 9), std::string("xx\tI2-128"));
        Click(*dialog, Dlg::IDC_SHOWINITS);
        QVERIFY(dialog->ShowInits());
        QCOMPARE(voices.GetCount(), 256);
        QVERIFY(voices.FindStringExact(-1, VoiceListLine(image, 2)) > LineOf(voices, "Wv"));
        Click(*dialog, Dlg::IDC_CATORDER);
        QCOMPARE(voices.GetCount(), 256);
        QCOMPARE(voices.GetText(2), VoiceListLine(image, 2));
        Click(*dialog, Dlg::IDC_SHOWINITS);
        QCOMPARE(voices.GetCount(), 255);
        QCOMPARE(voices.GetText(2), VoiceListLine(image, 3));
        // The re-created list still notifies the dialog.
        voices.SetCurSel(-1);
        ClickLine(voices, 1, true);
        QVERIFY(Idle(*dialog));
        QCOMPARE(bench.Received().voices.size(), std::size_t(1));
    }

    void doubleClickSendsTheVoiceAndRefusesDrums()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes, "Bank.S1Y", VoiceFileBuilder::Kind::S1y);
        QVERIFY(dialog);
        CListBox& voices = dialog->VoiceList();
        ClickLine(voices, voices.FindStringExact(-1, VoiceListLine(Bank().Image(), 1)), true);
        QVERIFY(!Enabled(*dialog, Dlg::IDC_QUIT));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_NOTE));
        QVERIFY(Idle(*dialog));
        QVERIFY(Enabled(*dialog, Dlg::IDC_QUIT));
        for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL}) {
            QVERIFY(Enabled(*dialog, id));
        }
        const auto received = bench.Received();
        QCOMPARE(received.voices.size(), std::size_t(1));
        QCOMPARE(std::string(reinterpret_cast<const char*>(received.voices[0].common.data()), 11),
                 std::string("Glass Grand"));
        QCOMPARE(received.voices[0].elements.size(), std::size_t(2));
        QVERIFY(bench.Log().find("Voice sent") != std::string::npos);

        ClickLine(voices, LineOf(voices, "Dr\t"), true);
        QCOMPARE(boxes.shown, (std::vector<std::string>{"Sorry, no drums yet. (!)"}));
        QVERIFY(!dialog->JobBusy());
        QCOMPARE(bench.Received().voices.size(), std::size_t(1));
        // Another file selected: the audition buttons wait for the next send.
        Bank().Write((bench.Voices() / "other.s1v").string(), VoiceFileBuilder::Kind::S1v);
        SelectFile(*dialog, "other.s1v");
        QVERIFY(!Enabled(*dialog, Dlg::IDC_NOTE));
    }

    void exportWritesTheMessageASendSendsAndNeverOverwritesTheBank()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        const std::filesystem::path bankFile = bench.Voices() / "bank.s1v";
        const std::string bankBytes = Contents(bankFile);
        CListBox& voices = dialog->VoiceList();
        const VoiceFileBuilder bank = Bank();
        ClickLine(voices, voices.FindStringExact(-1, VoiceListLine(bank.Image(), 1)));

        std::string suggested;
        std::filesystem::path target = bench.Voices().parent_path() / "glass.syx";
        dialog->SetSaveFile([&](CDialog*, const std::string& name) {
            suggested = name;
            return target.string();
        });
        dialog->ExportVoice();
        QCOMPARE(suggested, std::string("I1-002.syx"));
        QCOMPARE(dialog->StatusText(), "Exported I1-002 Glass Grand to " + target.string());
        EX5Patch patch("AssemblPatch", 0);
        QVERIFY(LoadVoice(patch, VoiceListLine(bank.Image(), 1), bank.Image()));
        const std::uint8_t* message = patch.Assemble();
        QCOMPARE(Contents(target), std::string(reinterpret_cast<const char*>(message), patch.GetMessageLength()));

        // Picked by mistake, the bank's own file keeps all its voices.
        target = bankFile;
        dialog->ExportVoice();
        QCOMPARE(dialog->StatusText(), "Cannot write " + bankFile.string() + ": it is the voice file being read");
        QCOMPARE(Contents(bankFile), bankBytes);
        QVERIFY(boxes.shown.empty());
    }

    void aFailedFileOrAnotherFolderLeavesNoVoiceToSend()
    {
        Bench bench;
        std::ofstream(bench.Voices() / "short.s1a", std::ios::binary) << "too short";
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        CListBox& voices = dialog->VoiceList();
        QCOMPARE(voices.GetCount(), 255);
        SelectFile(*dialog, "short.s1a");
        QCOMPARE(dialog->StatusText(), std::string("C:\\voices\\short.s1a ends before its voice bank is complete: "
                                                   "is it an EX5, EX5R or EX7 voice file?"));
        QCOMPARE(voices.GetCount(), 0);
        dialog->OnSendVoice();
        dialog->ExportVoice();
        QCOMPARE(bench.Received().voices.size(), std::size_t(0));
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        SelectFile(*dialog, "missing.s1v");
        QCOMPARE(dialog->StatusText(),
                 std::string("Cannot open C:\\voices\\missing.s1v: No such file or directory."));
        // A good file again: its voices, and the old word goes.
        SelectFile(*dialog, "bank.s1v");
        QCOMPARE(voices.GetCount(), 255);
        QVERIFY2(dialog->StatusText().empty(), dialog->StatusText().c_str());
        // Another folder: the file its voices came from is not listed.
        CTreeCtrl& tree = dialog->Tree();
        QVERIFY(tree.SelectItem(tree.GetParentItem(tree.GetSelectedItem())));
        QCOMPARE(dialog->CurrentPath(), std::string("C:\\"));
        QCOMPARE(voices.GetCount(), 0);
        QVERIFY(boxes.shown.empty());
    }

    void badFieldsAreRefusedWithFocusMoved()
    {
        Bench bench;
        bench.Store(bench.Folder());
        Boxes boxes;
        auto dialog = Open(boxes, [](Dlg& d) { d.SetReplyTimeout(20); });
        QVERIFY(Idle(*dialog));
        dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->SetWindowText("");
        dialog->GetDlgItem(Dlg::IDC_DEVICENO)->SetWindowText("3");
        PressEnterIn(*dialog, Dlg::IDC_DEVICENO);
        QCOMPARE(boxes.shown, (std::vector<std::string>{"Please enter a positive integer. (!)"}));
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        QVERIFY(dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->HasFocus());
        QCOMPARE(dialog->DeviceNo(), 3u);  // the fields before it were read

        // Out of range: said so, the focus on the field; "ID" goes on with
        // the held values.
        dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->SetWindowText("10");
        dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->SetWindowText("60000");
        PressEnterIn(*dialog, Dlg::IDC_DEVICENO);
        QCOMPARE(boxes.shown.back(), std::string("Delay must be 0 to 10000 ms. (!)"));
        QVERIFY(dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->HasFocus());
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        dialog->GetDlgItem(Dlg::IDC_DEVICENO)->SetWindowText("200");
        CloseUp(*dialog, Dlg::IDC_MIDIIN);
        Click(*dialog, Dlg::IDC_ID);
        QCOMPARE(boxes.shown.back(), std::string("Device No must be 0 to 127. (!)"));
        QCOMPARE(boxes.shown.size(), std::size_t(3));
        QVERIFY(Idle(*dialog));
        QVERIFY(bench.Log().find("Device number=3, Delay=10,") != std::string::npos);
    }

    void storedValuesOutOfRangeAreBroughtInWithAWordAndNoBox()
    {
        Bench bench;
        bench.Store(bench.Folder(), 201, 60000);
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(boxes.shown.empty());
        QCOMPARE(dialog->StatusText(),
                 std::string("The stored device number 201 is out of range (0 to 127); using 127. The stored MIDI "
                             "delay 60000 ms is out of range (0 to 10000 ms); using 10000 ms."));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_DEVICENO)->GetWindowText(), std::string("127"));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->GetWindowText(), std::string("10000"));
        QVERIFY(Idle(*dialog));
        QVERIFY(bench.Log().find("Device number=127,") != std::string::npos);
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string("EX5"));
        QVERIFY(boxes.shown.empty());
    }

    void spinsClampTheHeldValue()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        auto* spin = ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_DEVICENO_SPIN));
        dialog->GetDlgItem(Dlg::IDC_DEVICENO)->SetWindowText("16");
        QTest::mouseClick(spin->findChild<QToolButton*>(QStringLiteral("up")), Qt::LeftButton);
        QCOMPARE(dialog->DeviceNo(), 16u);
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_DEVICENO)->GetWindowText(), std::string("16"));
        // A first run's delays are 0, below the spin's range: one click lands inside it.
        auto* delay = ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_MIDIDELAY_SPIN));
        QCOMPARE(dialog->MidiDelay(), 0u);
        QTest::mouseClick(delay->findChild<QToolButton*>(QStringLiteral("down")), Qt::LeftButton);
        QCOMPARE(dialog->MidiDelay(), 50u);
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->GetWindowText(), std::string("50"));
    }

    void enterDuringAJobEndsAfterItAndSavesTheSettings()
    {
        Bench bench;
        bench.Store(bench.Folder(), 1);
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(dialog->JobRunning());
        dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->SetWindowText("700");
        PressEnterIn(*dialog, Dlg::IDC_DEVICENO);
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());  // held off
        QTest::keyClick(ui::qt::DialogWindowOf(*dialog), Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !ui::qt::DialogWindowOf(*dialog)->isVisible(); }, 10000));
        QVERIFY(!dialog->JobBusy());
        QCOMPARE(ui::qt::DialogWindowOf(*dialog)->result(), IDCANCEL);
        const auto stored = StoredSettings();
        QVERIFY(stored.has_value());
        QCOMPARE(stored->midiDelay, 700u);  // taken over by Enter
        QCOMPARE(stored->midiIn, 0);
        QCOMPARE(stored->midiOut, 0);
        QCOMPARE(stored->path, bench.Folder());
        QVERIFY(boxes.shown.empty());
    }

    void onTopChangesTheLevelOfTheShownDialogWithoutEndingIt()
    {
        Bench bench;
        bench.Store(bench.Folder());
        Dlg dialog;
        std::vector<bool> levels;
        bool sameWindow = true;
        WId window = 0;
        // Each click in an event-loop turn of its own, as a user's are: a
        // dialog hidden on the way ends its modal loop in between.
        std::function<void(int)> click = [&](int clicks) {
            if (clicks > 0) {
                levels.push_back(ui::qt::DialogWindowOf(dialog)->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
                // A window made anew is hidden first: the same window must change its level.
                sameWindow = sameWindow && ui::qt::DialogWindowOf(dialog)->isVisible() && ui::qt::DialogWindowOf(dialog)->winId() == window;
            }
            Click(dialog, clicks < 3 ? Dlg::IDC_ONTOP : Dlg::IDC_QUIT);
            QTimer::singleShot(0, ui::qt::DialogWindowOf(dialog), [&click, clicks] { click(clicks + 1); });
        };
        QTimer::singleShot(0, ui::qt::DialogWindowOf(dialog), [&] {
            QVERIFY(Idle(dialog));
            window = ui::qt::DialogWindowOf(dialog)->winId();
            dialog.GetDlgItem(Dlg::IDC_SYSEXDELAY)->SetWindowText("26");
            QTest::keyClick(ui::qt::WidgetOf(*dialog.GetDlgItem(Dlg::IDC_SYSEXDELAY)), Qt::Key_Up);
            click(0);
        });
        QCOMPARE(dialog.DoModal(), IDCANCEL);
        QVERIFY(sameWindow);
        QCOMPARE(levels, (std::vector<bool>{true, false, true}));
        const auto stored = StoredSettings();
        QVERIFY(stored.has_value());
        QVERIFY(stored->keepOnTop);
        QCOMPARE(stored->sysexDelay, 27u);
    }

    void failuresAreSaidInWordsWithTheirPortAndTheFoundIsNotShownAgain()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        const std::string port = "\"Sonderik virtual EX5 (built in)\"";
        // Its input held by another program: the job fails on the way.
        HMIDIIN taken = nullptr;
        QCOMPARE(midiInOpen(&taken, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        ClickLine(dialog->VoiceList(), 1, true);
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->StatusText(),
                 "I1-002 Glass Grand was not sent: MIDI In " + port +
                     " failed (Cannot open MIDI device for input). Is it still there, and not in use by another "
                     "program? Open the MIDI In list to choose it again.");
        QVERIFY(bench.Log().find("MidiInWin:121 Cannot open MIDI device for input") != std::string::npos);
        QCOMPARE(midiInClose(taken), MMSYSERR_NOERROR);

        // The ports go (a JACK server stopped, a cable pulled): nothing is
        // sent to whatever took their lines, and "ID" finds nothing.
        bench.Install({});
        ClickLine(dialog->VoiceList(), 1, true);
        QVERIFY(!dialog->JobBusy());
        QCOMPARE(dialog->StatusText(), "MIDI Out " + port + " is not there any more; choose a port in the MIDI Out list. " +
                                           "MIDI In " + port + " is not there any more; choose a port in the MIDI In list.");
        CloseUp(*dialog, Dlg::IDC_MIDIOUT);
        QCOMPARE(static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIOUT))->GetCount(), 0);
        Click(*dialog, Dlg::IDC_ID);
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string());
        QCOMPARE(dialog->StatusText(), "Not identified: MIDI In " + port +
                                           " is not there; connect it and open the MIDI In list, or choose another "
                                           "port there.");
    }

    void portListsAreCurrentWhenOpenedAndAChosenPortIsFollowedByName()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        auto* in = static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIIN));
        auto* out = static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIOUT));
        const std::string instrument = "Sonderik virtual EX5 (built in)";

        // A device plugged in before the instrument's takes its lines:
        // nothing may reach it (it fails on any call).
        auto synth = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth out"},
                                                          std::vector<std::string>{"Synth in"});
        bench.Install({synth, bench.Driver()});
        // Sent before any list was opened: the instrument's ports, found by name.
        ClickLine(dialog->VoiceList(), 1, true);
        QVERIFY(Idle(*dialog));
        QCOMPARE(bench.Received().voices.size(), std::size_t(1));
        QCOMPARE(out->GetLBText(out->GetCurSel()), instrument);
        QCOMPARE(in->GetLBText(in->GetCurSel()), instrument);
        QCOMPARE(out->GetCount(), 2);
        QVERIFY(synth->Calls().empty());

        // Unplugged again: an opened list is current and follows the port back.
        bench.Install({bench.Driver()});
        CloseUp(*dialog, Dlg::IDC_MIDIOUT);
        QCOMPARE(out->GetCount(), 1);
        QCOMPARE(out->GetCurSel(), 0);
        QCOMPARE(in->GetCurSel(), 0);
        QVERIFY(Enabled(*dialog, Dlg::IDC_ID));
        Click(*dialog, Dlg::IDC_ID);
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string("EX5"));

        // A stored port not there at start-up is taken once it comes.
        Settings stored = Bench::Stored(bench.Folder());
        stored.midiInName = "Synth in";
        stored.midiOutName = "Synth out";
        Bench::Store(stored);
        auto again = Open(boxes);
        QVERIFY(Idle(*again));
        auto* againOut = static_cast<CComboBox*>(again->GetDlgItem(Dlg::IDC_MIDIOUT));
        QCOMPARE(againOut->GetCurSel(), -1);
        bench.Install({synth, bench.Driver()});
        CloseUp(*again, Dlg::IDC_MIDIOUT);
        QCOMPARE(againOut->GetLBText(againOut->GetCurSel()), std::string("Synth out"));
        QVERIFY(synth->Calls().empty());
    }

    void storedPortsThatAreNotListedAreNamedAndNeverReplaced()
    {
        Bench bench;
        Settings stored = Bench::Stored(bench.Folder());
        stored.midiInName = "Gone synth in";
        stored.midiOutName = "Gone synth out";
        Bench::Store(stored);
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        QCOMPARE(static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIIN))->GetCurSel(), -1);
        QCOMPARE(static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIOUT))->GetCurSel(), -1);
        QCOMPARE(dialog->StatusText(),
                 std::string("MIDI Out \"Gone synth out\" is not there; connect it and open the MIDI Out list, or "
                             "choose another port there. MIDI In \"Gone synth in\" is not there; connect it and open "
                             "the MIDI In list, or choose another port there. Not identified: MIDI In \"Gone synth "
                             "in\" is not there; connect it and open the MIDI In list, or choose another port there."));
        QCOMPARE(bench.Received().identityRequests, 0u);
        QVERIFY(boxes.shown.empty());
    }

    void anInstrumentAtAnotherDeviceNumberOrNoneIsSaidSo()
    {
        virtual_ex5::Config ex7;
        ex7.model = virtual_ex5::Model::EX7;
        ex7.device = 3;
        virtual_ex5::Config off;
        off.silent = 1000;
        const struct {
            virtual_ex5::Config instrument;
            const char* found;
            const char* said;
        } cases[] = {
            {ex7, "EX7", "The EX7 answered only the request to every device, as device number 3 (not 1): set Device "
                         "No to 3."},
            {off, "No reply to ID request.",
             "No answer from the instrument on MIDI Out \"Sonderik virtual EX5 (built in)\" and MIDI In \"Sonderik "
             "virtual EX5 (built in)\": is it on, and connected both ways?"},
        };
        for (const auto& c : cases) {
            Bench bench(c.instrument);
            bench.Store(bench.Folder());
            Boxes boxes;
            auto dialog = Open(boxes, [](Dlg& d) { d.SetReplyTimeout(20); });
            QVERIFY(Idle(*dialog));
            QCOMPARE(dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText(), std::string(c.found));
            QCOMPARE(dialog->StatusText(), std::string(c.said));
        }
    }

    void closingWhileNobodyAnswersStopsTheIdentification()
    {
        virtual_ex5::Config off;
        off.silent = 1000;
        Bench bench(off);
        bench.Store(bench.Folder());
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(dialog->JobRunning());
        QVERIFY(!Enabled(*dialog, Dlg::IDC_QUIT));
        QVERIFY(QTest::qWaitFor([&] { return bench.Received().identityRequests == 1; }, 10000));
        ui::qt::DialogWindowOf(*dialog)->close();
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return !ui::qt::DialogWindowOf(*dialog)->isVisible(); }, 30000));
        // Stopped before its second request: a wait for all eight answers
        // would have sent them.
        QCOMPARE(bench.Received().identityRequests, 1u);
        QVERIFY(bench.Log().find("Midi:160 Job Cancelled") != std::string::npos);
        QVERIFY(dialog->StatusText().find("Cancelled") == std::string::npos);
        QVERIFY(StoredSettings().has_value());
    }

    void enterSendsFromTheVoiceListAndPressesTheFocusedButton()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        CListBox& voices = dialog->VoiceList();
        ClickLine(voices, 1);
        QVERIFY(voices.HasFocus());
        QTest::keyClick(ui::qt::WidgetOf(voices), Qt::Key_Up);
        QTest::keyClick(ui::qt::WidgetOf(voices), Qt::Key_Return);
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        QVERIFY(Idle(*dialog));
        QCOMPARE(bench.Received().voices.size(), std::size_t(1));
        QCOMPARE(std::string(reinterpret_cast<const char*>(bench.Received().voices[0].common.data()), 8),
                 std::string("Zeta Pad"));

        CloseUp(*dialog, Dlg::IDC_MIDIIN);
        dialog->GetDlgItem(Dlg::IDC_ID)->SetFocus();
        QTest::keyClick(ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_ID)), Qt::Key_Return);
        QVERIFY(dialog->JobRunning());
        QVERIFY(Idle(*dialog));
        QCOMPARE(bench.Received().identityRequests, 2u);
        QVERIFY(ui::qt::DialogWindowOf(*dialog)->isVisible());
        dialog->GetDlgItem(Dlg::IDC_QUIT)->SetFocus();
        QTest::keyClick(ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_QUIT)), Qt::Key_Return);
        QVERIFY(!ui::qt::DialogWindowOf(*dialog)->isVisible());
        QCOMPARE(ui::qt::DialogWindowOf(*dialog)->result(), IDCANCEL);
    }

    void theReCreatedVoiceListKeepsItsPlaceInTheTabOrder()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenOnBank(bench, boxes);
        QVERIFY(dialog);
        ui::qt::DialogWindowOf(*dialog)->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ui::qt::DialogWindowOf(*dialog)));
        const CListBox& voices = dialog->VoiceList();
        const auto tab = [](QWidget* from, Qt::KeyboardModifiers modifiers) {
            from->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(from, Qt::Key_Tab, modifiers);
            return QApplication::focusWidget();
        };
        QWidget* const files = ui::qt::WidgetOf(dialog->FileList());
        QWidget* const catOrder = ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_CATORDER));
        // Each box makes the list anew (both ways, sorted and not); Tab and
        // Shift+Tab still pass through it between the file list and "Cat Order".
        const int checkBoxes[] = {Dlg::IDC_SHOWINITS, Dlg::IDC_CATORDER, Dlg::IDC_SHOWINITS, Dlg::IDC_CATORDER};
        for (const int box : checkBoxes) {
            Click(*dialog, box);
            QCOMPARE(tab(files, Qt::NoModifier), ui::qt::WidgetOf(voices));
            QCOMPARE(tab(ui::qt::WidgetOf(voices), Qt::NoModifier), catOrder);
            QCOMPARE(tab(catOrder, Qt::ShiftModifier), ui::qt::WidgetOf(voices));
        }
    }

    void closingWhileAButtonIsHeldSendsItsReleaseFirst()
    {
        using Bytes = std::vector<std::uint8_t>;
        Bench bench;
        Boxes boxes;
        auto dialog = OpenAfterASend(bench, boxes);
        QVERIFY(dialog);
        bench.Clear();
        QTest::mousePress(ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_NOTE)), Qt::LeftButton);
        QCoreApplication::processEvents();
        ui::qt::DialogWindowOf(*dialog)->close();
        QVERIFY(!ui::qt::DialogWindowOf(*dialog)->isVisible());
        QCOMPARE(bench.Received().channelMessages,
                 (std::vector<Bytes>{{0x90, 60, 64}, {0x90, 60, 0}, {0x90, 63, 0}, {0x90, 64, 0}, {0x90, 67, 0},
                                     {0x90, 72, 0}}));
    }

    void theListsOrderIsKeptAndAFolderThatWentIsSaidSo()
    {
        Bench bench;
        VoiceFileBuilder bank = Bank();
        bank.Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
        std::filesystem::create_directories(bench.Voices() / "gone");
        Settings stored = Bench::Stored(bench.Folder());
        stored.catOrder = true;
        stored.showInits = true;
        Bench::Store(stored);
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        QCOMPARE(static_cast<CButton*>(dialog->GetDlgItem(Dlg::IDC_CATORDER))->GetCheck(), BST_CHECKED);
        QVERIFY(dialog->ShowInits());
        SelectFile(*dialog, "bank.s1v");
        CListBox& voices = dialog->VoiceList();
        QCOMPARE(voices.GetCount(), 256);
        QCOMPARE(voices.GetText(0), VoiceListLine(bank.Image(), 3));  // Dr sorts first

        std::filesystem::remove(bench.Voices() / "gone");
        CTreeCtrl& tree = dialog->Tree();
        HTREEITEM gone = tree.GetChildItem(tree.GetSelectedItem());
        QCOMPARE(tree.GetItemText(gone), std::string("gone"));
        QVERIFY(tree.SelectItem(gone));
        QCOMPARE(dialog->StatusText(), std::string("C:\\voices\\gone\\ is not there any more."));

        Click(*dialog, Dlg::IDC_SHOWINITS);
        Click(*dialog, Dlg::IDC_QUIT);
        const auto saved = StoredSettings();
        QVERIFY(saved.has_value());
        QVERIFY(saved->catOrder);
        QVERIFY(!saved->showInits);
    }

    void growsWithItsWindowKeepsItsPlaceAndOpensWhatItIsGiven()
    {
        Bench bench;
        Bank().Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
        std::filesystem::create_directories(bench.Voices() / "more");
        bench.Store("C:\\");
        Boxes boxes;
        // As `sonderik FILE` starts it: there, not at the saved folder.
        const std::string file = (bench.Voices() / "bank.s1v").string();
        auto dialog = Open(boxes, [&](Dlg& d) { d.OpenTarget(file); });
        QVERIFY(Idle(*dialog));
        QCOMPARE(dialog->CurrentPath(), bench.Folder());
        CListBox& voices = dialog->VoiceList();
        QCOMPARE(voices.GetCount(), 255);
        QCOMPARE(dialog->FileList().GetText(dialog->FileList().GetCurSel()), std::string("bank.s1v"));

        auto* view = qobject_cast<QListView*>(ui::qt::WidgetOf(voices));
        const auto lastShown = [view] {
            view->doItemsLayout();
            return view->indexAt(QPoint(5, view->viewport()->height() - 2)).row();
        };
        const int before = lastShown();
        const QRect quit = Place(dialog->GetDlgItem(Dlg::IDC_QUIT)->GetWindowRect());
        const QSize grown = Extent(dialog->TemplateSize()) + QSize(4, 79);
        QVERIFY2(QGuiApplication::primaryScreen()->availableGeometry().contains(QRect(QPoint(3, 4), grown)),
                 "the place must fit the screen the test runs on");
        ui::qt::DialogWindowOf(*dialog)->resize(grown);
        QCoreApplication::processEvents();
        QVERIFY2(lastShown() >= before + 4, qPrintable(QStringLiteral("%1 then %2").arg(before).arg(lastShown())));
        QCOMPARE(Place(dialog->GetDlgItem(Dlg::IDC_QUIT)->GetWindowRect()), quit.translated(4, 79));

        // A folder dropped on it opens there.
        dialog->OnDropFiles({(bench.Voices() / "more").string()});
        QCOMPARE(dialog->CurrentPath(), std::string("C:\\voices\\more\\"));
        QCOMPARE(voices.GetCount(), 0);

        ui::qt::DialogWindowOf(*dialog)->move(3, 4);
        Click(*dialog, Dlg::IDC_QUIT);
        const auto stored = StoredSettings();
        QVERIFY(stored.has_value());
        QCOMPARE(stored->window, "3,4," + std::to_string(grown.width()) + "," + std::to_string(grown.height()));
        auto again = Open(boxes);
        QCOMPARE(ui::qt::DialogWindowOf(*again)->size(), grown);
        QCOMPARE(ui::qt::DialogWindowOf(*again)->pos(), QPoint(3, 4));
        QVERIFY(Idle(*again));
        QVERIFY(boxes.shown.empty());
    }

    void closingSavesTheSevenSettings()
    {
        Bench bench;
        Boxes boxes;
        {
            auto dialog = Open(boxes);
            QVERIFY(Idle(*dialog));
            static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIIN))->SetCurSel(0);
            static_cast<CButton*>(dialog->GetDlgItem(Dlg::IDC_ONTOP))->SetCheck(BST_CHECKED);
            dialog->UpdateKeepOnTop();
            QVERIFY(ui::qt::DialogWindowOf(*dialog)->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            Click(*dialog, Dlg::IDC_QUIT);
            QVERIFY(!ui::qt::DialogWindowOf(*dialog)->isVisible());
        }
        auto stored = StoredSettings();
        QVERIFY(stored.has_value());
        QCOMPARE(stored->midiIn, 0);
        QCOMPARE(stored->midiOut, -1);
        QCOMPARE(stored->midiInName, std::string("Sonderik virtual EX5 (built in)"));
        QCOMPARE(stored->midiOutName, std::string());
        QCOMPARE(stored->deviceNo, 1u);
        QCOMPARE(stored->sysexDelay, 0u);
        QCOMPARE(stored->midiDelay, 0u);
        QVERIFY(stored->keepOnTop);
        auto again = Open(boxes);
        QVERIFY(ui::qt::DialogWindowOf(*again)->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(Idle(*again));
    }

    void settingsThatCannotBeSavedAreSaidOnStandardErrorAndInTheLog()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        // The settings' folder cannot be made once the dialog has started.
        const std::filesystem::path blocker = bench.Voices().parent_path() / "blocker";
        std::ofstream(blocker) << "x";
        const ScopedEnv config("SONDERIK_CONFIG_DIR", (blocker / "config").string());
        StandardErrorCapture error;
        Click(*dialog, Dlg::IDC_QUIT);
        QVERIFY(!ui::qt::DialogWindowOf(*dialog)->isVisible());
        const std::string said = error.Take();
        const std::string problem = "cannot save the settings in " + (blocker / "config" / "HKEY_LOCAL_MACHINE.txt").string();
        QVERIFY2(said.rfind("sonderik: " + problem + ": ", 0) == 0, said.c_str());
        const std::string log = bench.Log();
        QVERIFY2(log.find("Sonderik: " + problem + ": ") != std::string::npos, log.c_str());
        QVERIFY(boxes.shown.empty());
    }

    void auditionButtonsPlayWhileHeldOnThePortOfTheLastJob()
    {
        using Bytes = std::vector<std::uint8_t>;
        const std::vector<Bytes> off{{0x90, 60, 0}, {0x90, 63, 0}, {0x90, 64, 0}, {0x90, 67, 0}, {0x90, 72, 0}};
        const auto then = [&off](std::vector<Bytes> on) {
            on.insert(on.end(), off.begin(), off.end());
            return on;
        };
        Bench bench;
        Boxes boxes;
        auto dialog = OpenAfterASend(bench, boxes);
        QVERIFY(dialog);
        dialog->SetRunPause(std::chrono::milliseconds(30));
        // Another port chosen since: the audition stays on the last job's.
        static_cast<CComboBox*>(dialog->GetDlgItem(Dlg::IDC_MIDIOUT))->SetCurSel(-1);

        bench.Clear();
        QWidget* major = ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_MAJOR));
        QTest::mousePress(major, Qt::LeftButton);
        QVERIFY(bench.Received().channelMessages.empty());  // posted, not yet handled
        QCoreApplication::processEvents();
        QCOMPARE(bench.Received().channelMessages, (std::vector<Bytes>{{0x90, 60, 64}, {0x90, 64, 64}, {0x90, 67, 64}}));
        QTest::mouseRelease(major, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(bench.Received().channelMessages,
                 then({{0x90, 60, 64}, {0x90, 64, 64}, {0x90, 67, 64}}));

        // A click shorter than the run: the release waits in the queue.
        bench.Clear();
        QWidget* trill = ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_TRILL));
        QTest::mouseClick(trill, Qt::LeftButton);
        QCoreApplication::processEvents();
        const std::vector<Bytes> run{{0x90, 60, 64}, {0x90, 64, 64}, {0x90, 67, 64}, {0x90, 72, 64}};
        QCOMPARE(bench.Received().channelMessages, then(run));
        const auto times = bench.Received().channelTimes;
        QVERIFY(times[3] - times[0] >= std::chrono::milliseconds(85));

        // Control id 6 plays the run too.
        bench.Clear();
        dialog->PostMessage(kButtonPressMessage, 6, 0);
        dialog->PostMessage(kButtonReleaseMessage, 6, 0);
        QCoreApplication::processEvents();
        QCOMPARE(bench.Received().channelMessages, then(run));
        QCOMPARE(dialog->StatusText(), std::string("Sent I1-002 Glass Grand to MIDI Out \"Sonderik virtual EX5 (built in)\"."));
    }

    void auditionFailuresReachTheStatusLineAndIdentificationHoldsTheButtons()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = OpenAfterASend(bench, boxes);
        QVERIFY(dialog);

        // The instrument's input taken by someone else: the press fails, the
        // dialog says why and goes on; the release works once it is free.
        HMIDIIN taken = nullptr;
        QCOMPARE(midiInOpen(&taken, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        bench.Clear();
        QWidget* note = ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_NOTE));
        QTest::mousePress(note, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(dialog->StatusText(), std::string("MidiInWin:121 Cannot open MIDI device for input"));
        QCOMPARE(midiInClose(taken), MMSYSERR_NOERROR);
        QTest::mouseRelease(note, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(bench.Received().channelMessages.size(), std::size_t(5));

        // Enabled after the send: disabled while "ID" runs, enabled again after.
        CloseUp(*dialog, Dlg::IDC_MIDIIN);
        Click(*dialog, Dlg::IDC_ID);
        QVERIFY(dialog->JobRunning());
        for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL}) {
            QVERIFY(!Enabled(*dialog, id));
        }
        QVERIFY(Idle(*dialog));
        for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL}) {
            QVERIFY(Enabled(*dialog, id));
        }
        // A file selected before: they stay disabled after "ID" reports back.
        Bank().Write((bench.Voices() / "other.s1v").string(), VoiceFileBuilder::Kind::S1v);
        SelectFile(*dialog, "other.s1v");
        ClickLine(dialog->VoiceList(), 1);
        CloseUp(*dialog, Dlg::IDC_MIDIIN);
        Click(*dialog, Dlg::IDC_ID);
        // A voice of it sent while "ID" runs is refused, and leaves them as
        // they were; the refusal goes once the job has ended.
        const std::size_t sent = bench.Received().voices.size();
        dialog->OnSendVoice();
        QCOMPARE(dialog->StatusText(), std::string("Please wait: the instrument is still busy with the last request."));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_QUIT));
        QVERIFY(Idle(*dialog));
        QVERIFY2(dialog->StatusText().empty(), dialog->StatusText().c_str());
        QCOMPARE(bench.Received().voices.size(), sent);
        QVERIFY(!Enabled(*dialog, Dlg::IDC_NOTE));
        QVERIFY(!Enabled(*dialog, Dlg::IDC_TRILL));
    }
};

QTEST_MAIN(DialogTest)
#include "DialogTest.moc"
