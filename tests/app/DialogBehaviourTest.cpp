// The main dialog against the built-in virtual instrument, driven through its
// controls as a user does, the same on either window system: start-up with
// and without settings, the enabling table, "ID", the voice list and its two
// boxes, sending, exporting, the refusals, the keyboard, ending while a job
// runs, and what closing saves.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app/SonderikDlg.h"
#include "platform/midi/MidiDriver.h"
#include "tests/app/DialogBench.h"
#include "tests/support/TreePath.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "tests/support/UiDriver.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"
#ifndef _WIN32
#include "tests/support/LogCapture.h"
#endif

namespace {

using namespace dialog_bench;
using Bytes = std::vector<std::uint8_t>;
using uitest::Key;

const std::string kInstrumentPort = "Sonderik virtual EX5 (built in)";

// What the four audition buttons release when they let go.
const std::vector<Bytes> kNotesOff{{0x90, 60, 0}, {0x90, 63, 0}, {0x90, 64, 0}, {0x90, 67, 0}, {0x90, 72, 0}};

std::vector<Bytes> ThenOff(std::vector<Bytes> on)
{
    on.insert(on.end(), kNotesOff.begin(), kNotesOff.end());
    return on;
}

std::string CommonName(const virtual_ex5::Received& received, std::size_t voice, std::size_t length)
{
    return std::string(reinterpret_cast<const char*>(received.voices[voice].common.data()), length);
}

// The dialog run modally, `started` called from its loop once it is up.
class ModalDialog : public Dlg {
public:
    std::function<void()> started;

protected:
    bool OnInitDialog() override
    {
        const bool focusGiven = Dlg::OnInitDialog();
        PostCall([this] { started(); });
        return focusGiven;
    }
};

}  // namespace

TEST(DialogStartTest, AFirstStartHasNoPortsAndReportsBack)
{
    Bench bench;
    Boxes boxes;
    auto dialog = Open(boxes);
    EXPECT_TRUE(dialog->IsWindowVisible());
    EXPECT_EQ("1.0.3", dialog->Version());
    // Start-up, before the identification reports back.
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_ID));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_QUIT));
    for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL, Dlg::IDC_CATORDER,
                   Dlg::IDC_SHOWINITS}) {
        EXPECT_FALSE(Enabled(*dialog, id)) << id;
    }
    EXPECT_EQ(1, Combo(*dialog, Dlg::IDC_MIDIIN).GetCount());
    EXPECT_EQ(-1, Combo(*dialog, Dlg::IDC_MIDIIN).GetCurSel());
    EXPECT_EQ(-1, Combo(*dialog, Dlg::IDC_MIDIOUT).GetCurSel());
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_QUIT));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_ID));
    EXPECT_TRUE(dialog->TreeFilled());
    EXPECT_NE(std::string::npos, bench.Log().find("Cannot open MIDI device"));
    EXPECT_EQ("1", dialog->GetDlgItem(Dlg::IDC_DEVICENO)->GetWindowText());
    EXPECT_EQ("0", dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->GetWindowText());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogStartTest, AStartWithSettingsIdentifiesTheInstrumentAndIdWaitsForAPortListClosedUp)
{
    Bench bench;
    bench.Store(bench.Folder());
    Boxes boxes;
    auto dialog = Open(boxes);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("EX5", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
    EXPECT_EQ(bench.Folder(), dialog->CurrentPath());
    EXPECT_EQ(1u, bench.Received().identityRequests);
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_ID));
    CloseUp(*dialog, Dlg::IDC_MIDIOUT);
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_ID));
    Click(*dialog, Dlg::IDC_ID);
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_ID));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_QUIT));
    EXPECT_EQ("", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("EX5", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
    EXPECT_EQ(2u, bench.Received().identityRequests);
    EXPECT_EQ("", dialog->StatusText()) << "the line of the request waited for goes with the answer";
}

TEST(DialogStartTest, TheJobsLogInTheFolderTheyAreGivenAndTheStatusLineNamesIt)
{
    Bench bench;
    bench.Store(bench.Folder());
    const std::filesystem::path root = bench.Root();
    Bank().Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
    Boxes boxes;
    auto dialog = Open(boxes, [&](Dlg& d) { d.SetLogFolder((root / "logs").string()); });
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("EX5", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
    EXPECT_NE(std::string::npos, Bench::Contents(root / "logs" / "Sonderik.log").find("Finished instrument ident"));
    EXPECT_EQ("", bench.Log()) << "nothing is written in the current folder";
    EXPECT_EQ(root, std::filesystem::current_path());
    dialog.reset();

    // A folder under a file cannot be made: both jobs say which folder.
    std::ofstream(root / "plain") << "a file, not a folder";
    const std::string blocked = (root / "plain" / "logs").string();
    const std::string advice = ": Sonderik.log cannot be written in " + blocked +
                               ". Start Sonderik with --log-dir DIR to choose another folder.";
    dialog = Open(boxes, [&](Dlg& d) { d.SetLogFolder(blocked); });
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("Not identified" + advice, dialog->StatusText());
    SelectFile(*dialog, "bank.s1v");
    uitest::DoubleClickLine(dialog->VoiceList(), 1);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("I1-002 Glass Grand was not sent" + advice, dialog->StatusText());
}

TEST(DialogStartTest, StoredValuesOutOfRangeAreBroughtInWithAWordAndNoBox)
{
    Bench bench;
    bench.Store(bench.Folder(), 201, 60000);
    Boxes boxes;
    auto dialog = Open(boxes);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ("The stored device number 201 is out of range (0 to 127); using 127. The stored MIDI delay 60000 ms is "
              "out of range (0 to 10000 ms); using 10000 ms.",
              dialog->StatusText());
    EXPECT_EQ("127", dialog->GetDlgItem(Dlg::IDC_DEVICENO)->GetWindowText());
    EXPECT_EQ("10000", dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->GetWindowText());
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_NE(std::string::npos, bench.Log().find("Device number=127,"));
    EXPECT_EQ("EX5", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogStartTest, AnInstrumentAtAnotherDeviceNumberOrNoneIsSaidSo)
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
        ASSERT_TRUE(Idle(*dialog));
        EXPECT_EQ(c.found, dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
        EXPECT_EQ(c.said, dialog->StatusText());
    }
}

TEST(DialogPortsTest, ClosingUpDuringAJobWaitsForItsEnd)
{
    Bench bench;
    bench.Store(bench.Folder());
    Boxes boxes;
    auto dialog = Open(boxes);
    EXPECT_TRUE(dialog->JobRunning());
    CloseUp(*dialog, Dlg::IDC_MIDIIN);
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_ID));
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_ID));
}

TEST(DialogPortsTest, FailuresAreSaidInWordsWithTheirPortAndTheFoundIsNotShownAgain)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    const std::string port = "\"" + kInstrumentPort + "\"";
    // Its input held by another program: the job fails on the way.
    HMIDIIN taken = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&taken, 0, 0, 0, CALLBACK_NULL));
    uitest::DoubleClickLine(dialog->VoiceList(), 1);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("I1-002 Glass Grand was not sent: MIDI In " + port +
                  " failed (Cannot open MIDI device for input). Is it still there, and not in use by another "
                  "program? Open the MIDI In list to choose it again.",
              dialog->StatusText());
    EXPECT_NE(std::string::npos, bench.Log().find("MidiInWin:121 Cannot open MIDI device for input"));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(taken));

    // The ports go (a JACK server stopped, a cable pulled): nothing is
    // sent to whatever took their lines, and "ID" finds nothing.
    bench.Install({});
    uitest::DoubleClickLine(dialog->VoiceList(), 1);
    EXPECT_FALSE(dialog->JobBusy());
    EXPECT_EQ("MIDI Out " + port + " is not there any more; choose a port in the MIDI Out list. " + "MIDI In " + port +
                  " is not there any more; choose a port in the MIDI In list.",
              dialog->StatusText());
    CloseUp(*dialog, Dlg::IDC_MIDIOUT);
    EXPECT_EQ(0, Combo(*dialog, Dlg::IDC_MIDIOUT).GetCount());
    Click(*dialog, Dlg::IDC_ID);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());
    EXPECT_EQ("Not identified: MIDI In " + port +
                  " is not there; connect it and open the MIDI In list, or choose another port there.",
              dialog->StatusText());
}

TEST(DialogPortsTest, PortListsAreCurrentWhenOpenedAndAChosenPortIsFollowedByName)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    CComboBox& in = Combo(*dialog, Dlg::IDC_MIDIIN);
    CComboBox& out = Combo(*dialog, Dlg::IDC_MIDIOUT);

    // A device plugged in before the instrument's takes its lines:
    // nothing may reach it (it fails on any call).
    auto synth = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth out"},
                                                      std::vector<std::string>{"Synth in"});
    bench.Install({synth, bench.Driver()});
    // Sent before any list was opened: the instrument's ports, found by name.
    uitest::DoubleClickLine(dialog->VoiceList(), 1);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ(1u, bench.Received().voices.size());
    EXPECT_EQ(kInstrumentPort, out.GetLBText(out.GetCurSel()));
    EXPECT_EQ(kInstrumentPort, in.GetLBText(in.GetCurSel()));
    EXPECT_EQ(2, out.GetCount());
    EXPECT_TRUE(synth->Calls().empty());

    // Unplugged again: an opened list is current and follows the port back.
    bench.Install({bench.Driver()});
    CloseUp(*dialog, Dlg::IDC_MIDIOUT);
    EXPECT_EQ(1, out.GetCount());
    EXPECT_EQ(0, out.GetCurSel());
    EXPECT_EQ(0, in.GetCurSel());
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_ID));
    Click(*dialog, Dlg::IDC_ID);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("EX5", dialog->GetDlgItem(Dlg::IDC_INSTRUMENT)->GetWindowText());

    // A stored port not there at start-up is taken once it comes.
    Settings stored = Bench::Stored(bench.Folder());
    stored.midiInName = "Synth in";
    stored.midiOutName = "Synth out";
    Bench::Store(stored);
    auto again = Open(boxes);
    ASSERT_TRUE(Idle(*again));
    CComboBox& againOut = Combo(*again, Dlg::IDC_MIDIOUT);
    EXPECT_EQ(-1, againOut.GetCurSel());
    bench.Install({synth, bench.Driver()});
    CloseUp(*again, Dlg::IDC_MIDIOUT);
    ASSERT_GE(againOut.GetCurSel(), 0);
    EXPECT_EQ("Synth out", againOut.GetLBText(againOut.GetCurSel()));
    EXPECT_TRUE(synth->Calls().empty());
}

TEST(DialogPortsTest, StoredPortsThatAreNotListedAreNamedAndNeverReplaced)
{
    Bench bench;
    Settings stored = Bench::Stored(bench.Folder());
    stored.midiInName = "Gone synth in";
    stored.midiOutName = "Gone synth out";
    Bench::Store(stored);
    Boxes boxes;
    auto dialog = Open(boxes);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ(-1, Combo(*dialog, Dlg::IDC_MIDIIN).GetCurSel());
    EXPECT_EQ(-1, Combo(*dialog, Dlg::IDC_MIDIOUT).GetCurSel());
    EXPECT_EQ("MIDI Out \"Gone synth out\" is not there; connect it and open the MIDI Out list, or choose another "
              "port there. MIDI In \"Gone synth in\" is not there; connect it and open the MIDI In list, or choose "
              "another port there. Not identified: MIDI In \"Gone synth in\" is not there; connect it and open the "
              "MIDI In list, or choose another port there.",
              dialog->StatusText());
    EXPECT_EQ(0u, bench.Received().identityRequests);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogVoicesTest, SelectingAFileListsItsVoicesInBothOrders)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    EXPECT_EQ("", dialog->StatusText());
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_CATORDER));
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_SHOWINITS));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_NOTE));
    CListBox& voices = dialog->VoiceList();
    EXPECT_EQ(255, voices.GetCount());  // one "Init Voice" hidden
    const VoiceFileBuilder bank = Bank();
    const BankImage& image = bank.Image();
    EXPECT_EQ(VoiceListLine(image, 0), voices.GetText(0));
    EXPECT_EQ(VoiceListLine(image, 1), voices.GetText(1));

    // Cat Order, then Show Inits in sorted order, then back.
    uitest::ClickLine(voices, 1);
    const HUIWND before = voices.GetSafeHwnd();
    Click(*dialog, Dlg::IDC_CATORDER);
    EXPECT_NE(before, voices.GetSafeHwnd()) << "the list is made anew";
    EXPECT_NE(0u, voices.GetStyle() & LBS_SORT);
    EXPECT_EQ(255, voices.GetCount());
    ASSERT_GE(voices.GetCurSel(), 0);
    EXPECT_EQ(VoiceListLine(image, 1), voices.GetText(voices.GetCurSel()));
    EXPECT_EQ(VoiceListLine(image, 3), voices.GetText(0));  // Dr sorts first here
    EXPECT_EQ("xx\tI2-128", voices.GetText(voices.GetCount() - 1).substr(0, 9));
    Click(*dialog, Dlg::IDC_SHOWINITS);
    EXPECT_TRUE(dialog->ShowInits());
    EXPECT_EQ(256, voices.GetCount());
    EXPECT_GT(voices.FindStringExact(-1, VoiceListLine(image, 2)), LineOf(voices, "Wv"));
    Click(*dialog, Dlg::IDC_CATORDER);
    EXPECT_EQ(256, voices.GetCount());
    EXPECT_EQ(VoiceListLine(image, 2), voices.GetText(2));
    Click(*dialog, Dlg::IDC_SHOWINITS);
    EXPECT_EQ(255, voices.GetCount());
    EXPECT_EQ(VoiceListLine(image, 3), voices.GetText(2));
    // The re-created list still notifies the dialog.
    voices.SetCurSel(-1);
    uitest::DoubleClickLine(voices, 1);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ(1u, bench.Received().voices.size());
}

TEST(DialogVoicesTest, TheListsOrderIsKeptAndAFolderThatWentIsSaidSo)
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
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ(BST_CHECKED, static_cast<CButton*>(dialog->GetDlgItem(Dlg::IDC_CATORDER))->GetCheck());
    EXPECT_TRUE(dialog->ShowInits());
    SelectFile(*dialog, "bank.s1v");
    CListBox& voices = dialog->VoiceList();
    EXPECT_EQ(256, voices.GetCount());
    EXPECT_EQ(VoiceListLine(bank.Image(), 3), voices.GetText(0));  // Dr sorts first

    std::filesystem::remove(bench.Voices() / "gone");
    CTreeCtrl& tree = dialog->Tree();
    HTREEITEM gone = tree.GetChildItem(tree.GetSelectedItem());
    ASSERT_NE(nullptr, gone);
    EXPECT_EQ("gone", tree.GetItemText(gone));
    EXPECT_TRUE(tree.SelectItem(gone));
    EXPECT_EQ(bench.Folder() + "gone\\ is not there any more.", dialog->StatusText());

    Click(*dialog, Dlg::IDC_SHOWINITS);
    Click(*dialog, Dlg::IDC_QUIT);
    const auto saved = StoredSettings();
    ASSERT_TRUE(saved.has_value());
    EXPECT_TRUE(saved->catOrder);
    EXPECT_FALSE(saved->showInits);
}

TEST(DialogVoicesTest, ADoubleClickSendsTheVoiceAndDrumsAreRefused)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes, "Bank.S1Y", VoiceFileBuilder::Kind::S1y);
    ASSERT_TRUE(dialog);
    CListBox& voices = dialog->VoiceList();
    uitest::DoubleClickLine(voices, voices.FindStringExact(-1, VoiceListLine(Bank().Image(), 1)));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_QUIT));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_NOTE));
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_TRUE(Enabled(*dialog, Dlg::IDC_QUIT));
    for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL}) {
        EXPECT_TRUE(Enabled(*dialog, id)) << id;
    }
    const auto received = bench.Received();
    ASSERT_EQ(1u, received.voices.size());
    EXPECT_EQ("Glass Grand", CommonName(received, 0, 11));
    EXPECT_EQ(2u, received.voices[0].elements.size());
    EXPECT_NE(std::string::npos, bench.Log().find("Voice sent"));

    uitest::DoubleClickLine(voices, LineOf(voices, "Dr\t"));
    EXPECT_EQ((std::vector<std::string>{"Sorry, no drums yet. (!)"}), boxes.shown);
    EXPECT_FALSE(dialog->JobBusy());
    EXPECT_EQ(1u, bench.Received().voices.size());
    // Another file selected: the audition buttons wait for the next send.
    Bank().Write((bench.Voices() / "other.s1v").string(), VoiceFileBuilder::Kind::S1v);
    SelectFile(*dialog, "other.s1v");
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_NOTE));
}

#ifdef SONDERIK_CONTAINER_FIXTURES
TEST(DialogVoicesTest, ADiskImageOpensAsAFolderInTheTreeAndItsVoicesAreSent)
{
    Bench bench;
    std::filesystem::copy_file(std::string(SONDERIK_CONTAINER_FIXTURES) + "/floppy-720.img",
                               bench.Voices() / "DSKA0001.IMG");
    bench.Store(bench.Folder());
    Boxes boxes;
    auto dialog = Open(boxes);
    ASSERT_TRUE(Idle(*dialog));
    CTreeCtrl& tree = dialog->Tree();
    const HTREEITEM image = ItemOfPath(tree, bench.Folder() + "DSKA0001.IMG\\");
    ASSERT_NE(nullptr, image);
    EXPECT_TRUE(tree.ItemHasChildren(image));
    const HTREEITEM pads = ItemOfPath(tree, bench.Folder() + "DSKA0001.IMG\\EX5\\PADS\\");
    ASSERT_NE(nullptr, pads);
    tree.SelectItem(pads);
    EXPECT_EQ(bench.Folder() + "Dska0001.img\\Ex5\\Pads\\", dialog->CurrentPath());
    ASSERT_EQ(1, dialog->FileList().GetCount());
    SelectFile(*dialog, "My Pads.s1a");
    CListBox& voices = dialog->VoiceList();
    uitest::DoubleClickLine(voices, LineOf(voices, "Pf\tI1-002"));
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("Sent I1-002 Glass Grand to MIDI Out \"" + kInstrumentPort + "\".", dialog->StatusText());
    ASSERT_EQ(1u, bench.Received().voices.size());
}
#endif

TEST(DialogVoicesTest, TheSearchFieldFindsVoicesUnderTheFolderAndAHitIsSentFromItsFile)
{
    Bench bench;
    VoiceFileBuilder other;
    other.Voice(4, "Dust Cloud", 13).Element(4, 0, 7);
    std::filesystem::create_directories(bench.Voices() / "More");
    other.Write((bench.Voices() / "More" / "other.s1v").string(), VoiceFileBuilder::Kind::S1v);
    Bank().Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes, "bank.s1v", VoiceFileBuilder::Kind::S1v);
    ASSERT_TRUE(dialog);
    const ScopedEnv cache("SONDERIK_CACHE_DIR", (bench.Root() / "cache").string());

    uitest::TypeText(dialog->SearchField(), "DUST");
    uitest::PressKey(dialog->SearchField(), Key::Enter);
    ASSERT_TRUE(uitest::PumpUntil([&] { return dialog->StatusText().find(" named with ") != std::string::npos; }));
    EXPECT_EQ("1 voice under " + bench.Folder() + " named with \"DUST\".", dialog->StatusText());
    CListBox& voices = dialog->VoiceList();
    ASSERT_EQ(1, voices.GetCount());
    EXPECT_EQ(VoiceListLine(other.Image(), 4) + "\tMore\\other.s1v", voices.GetText(0));
    EXPECT_TRUE(dialog->IsWindowVisible()) << "Enter in the field searches, it does not close";

    uitest::DoubleClickLine(voices, 0);
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("Sent I1-005 Dust Cloud to MIDI Out \"" + kInstrumentPort + "\".", dialog->StatusText());
    const auto received = bench.Received();
    ASSERT_EQ(1u, received.voices.size());
    EXPECT_EQ("Dust Cloud", CommonName(received, 0, 10));

    // The hits are no file's: the file list lets its file go, and choosing
    // it again shows its own voices.
    EXPECT_EQ(-1, dialog->FileList().GetCurSel());
    SelectFile(*dialog, "bank.s1v");
    EXPECT_GE(voices.FindStringExact(-1, VoiceListLine(Bank().Image(), 1)), 0);
    EXPECT_EQ(std::string::npos, voices.GetText(0).find("other.s1v"));
}

TEST(DialogVoicesTest, ExportWritesTheMessageASendSendsAndNeverOverwritesTheBank)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    const std::filesystem::path bankFile = bench.Voices() / "bank.s1v";
    const std::string bankBytes = Bench::Contents(bankFile);
    CListBox& voices = dialog->VoiceList();
    const VoiceFileBuilder bank = Bank();
    uitest::ClickLine(voices, voices.FindStringExact(-1, VoiceListLine(bank.Image(), 1)));

    std::string suggested;
    std::filesystem::path target = bench.Root() / "glass.syx";
    dialog->SetSaveFile([&](CDialog*, const std::string& name) {
        suggested = name;
        return target.string();
    });
    dialog->ExportVoice();
    EXPECT_EQ("I1-002.syx", suggested);
    EXPECT_EQ("Exported I1-002 Glass Grand to " + target.string(), dialog->StatusText());
    EX5Patch patch("AssemblPatch", 0);
    ASSERT_TRUE(LoadVoice(patch, VoiceListLine(bank.Image(), 1), bank.Image()));
    const std::uint8_t* message = patch.Assemble();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(message), patch.GetMessageLength()), Bench::Contents(target));

    // Picked by mistake, the bank's own file keeps all its voices.
    target = bankFile;
    dialog->ExportVoice();
    EXPECT_EQ("Cannot write " + bankFile.string() + ": it is the voice file being read", dialog->StatusText());
    EXPECT_EQ(bankBytes, Bench::Contents(bankFile));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogVoicesTest, AFailedFileOrAnotherFolderLeavesNoVoiceToSend)
{
    Bench bench;
    std::ofstream(bench.Voices() / "short.s1a", std::ios::binary) << "too short";
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    CListBox& voices = dialog->VoiceList();
    EXPECT_EQ(255, voices.GetCount());
    SelectFile(*dialog, "short.s1a");
    EXPECT_EQ(bench.Folder() + "short.s1a ends before its voice bank is complete: is it an EX5, EX5R or EX7 voice "
                               "file?",
              dialog->StatusText());
    EXPECT_EQ(0, voices.GetCount());
    dialog->OnSendVoice();
    dialog->ExportVoice();
    EXPECT_EQ(0u, bench.Received().voices.size());
    EXPECT_TRUE(dialog->IsWindowVisible());
    SelectFile(*dialog, "missing.s1v");
    const std::string cannotOpen = "Cannot open " + bench.Folder() + "missing.s1v: ";
#ifdef _WIN32
    // The reason in the system's own words, which differ between its versions.
    EXPECT_EQ(0u, dialog->StatusText().rfind(cannotOpen, 0)) << dialog->StatusText();
    EXPECT_GT(dialog->StatusText().size(), cannotOpen.size() + 1);
#else
    EXPECT_EQ(cannotOpen + "No such file or directory.", dialog->StatusText());
#endif
    // A good file again: its voices, and the old word goes.
    SelectFile(*dialog, "bank.s1v");
    EXPECT_EQ(255, voices.GetCount());
    EXPECT_EQ("", dialog->StatusText());
    // Another folder: the file its voices came from is not listed.
    CTreeCtrl& tree = dialog->Tree();
    EXPECT_TRUE(tree.SelectItem(tree.GetParentItem(tree.GetSelectedItem())));
    EXPECT_EQ(bench.RootFolder(), dialog->CurrentPath());
    EXPECT_EQ(0, voices.GetCount());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogVoicesTest, OpensTheFileItIsStartedWithAndAFolderDroppedOnIt)
{
    Bench bench;
    Bank().Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
    std::filesystem::create_directories(bench.Voices() / "more");
    bench.Store(bench.RootFolder());
    Boxes boxes;
    // As `sonderik FILE` starts it: there, not at the saved folder.
    const std::string file = (bench.Voices() / "bank.s1v").string();
    auto dialog = Open(boxes, [&](Dlg& d) { d.OpenTarget(file); });
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ(bench.Folder(), dialog->CurrentPath());
    CListBox& voices = dialog->VoiceList();
    EXPECT_EQ(255, voices.GetCount());
    ASSERT_GE(dialog->FileList().GetCurSel(), 0);
    EXPECT_EQ("bank.s1v", dialog->FileList().GetText(dialog->FileList().GetCurSel()));

    dialog->OnDropFiles({(bench.Voices() / "more").string()});
    EXPECT_EQ(bench.Folder() + "more\\", dialog->CurrentPath());
    EXPECT_EQ(0, voices.GetCount());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogFieldsTest, BadFieldsAreRefusedWithTheFocusMovedToThem)
{
    Bench bench;
    bench.Store(bench.Folder());
    Boxes boxes;
    auto dialog = Open(boxes, [](Dlg& d) { d.SetReplyTimeout(20); });
    ASSERT_TRUE(Idle(*dialog));
    dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->SetWindowText("");
    dialog->GetDlgItem(Dlg::IDC_DEVICENO)->SetWindowText("");
    uitest::TypeText(*dialog->GetDlgItem(Dlg::IDC_DEVICENO), "3");
    PressEnterIn(*dialog, Dlg::IDC_DEVICENO);
    EXPECT_EQ((std::vector<std::string>{"Please enter a positive integer. (!)"}), boxes.shown);
    EXPECT_TRUE(dialog->IsWindowVisible());
    EXPECT_TRUE(dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->HasFocus());
    EXPECT_EQ(3u, dialog->DeviceNo());  // the fields before it were read

    // Out of range: said so, the focus on the field; "ID" goes on with
    // the held values.
    dialog->GetDlgItem(Dlg::IDC_SYSEXDELAY)->SetWindowText("10");
    dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->SetWindowText("60000");
    PressEnterIn(*dialog, Dlg::IDC_DEVICENO);
    ASSERT_EQ(2u, boxes.shown.size());
    EXPECT_EQ("Delay must be 0 to 10000 ms. (!)", boxes.shown.back());
    EXPECT_TRUE(dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->HasFocus());
    EXPECT_TRUE(dialog->IsWindowVisible());
    dialog->GetDlgItem(Dlg::IDC_DEVICENO)->SetWindowText("200");
    CloseUp(*dialog, Dlg::IDC_MIDIIN);
    Click(*dialog, Dlg::IDC_ID);
    ASSERT_EQ(3u, boxes.shown.size());
    EXPECT_EQ("Device No must be 0 to 127. (!)", boxes.shown.back());
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_NE(std::string::npos, bench.Log().find("Device number=3, Delay=10,"));
}

TEST(DialogFieldsTest, TheArrowsClampTheHeldValue)
{
    Bench bench;
    Boxes boxes;
    auto dialog = Open(boxes);
    ASSERT_TRUE(Idle(*dialog));
    const auto& deviceSpin = *static_cast<CSpinButtonCtrl*>(dialog->GetDlgItem(Dlg::IDC_DEVICENO_SPIN));
    dialog->GetDlgItem(Dlg::IDC_DEVICENO)->SetWindowText("16");
    uitest::ClickArrow(deviceSpin, +1);
    EXPECT_EQ(16u, dialog->DeviceNo());
    EXPECT_EQ("16", dialog->GetDlgItem(Dlg::IDC_DEVICENO)->GetWindowText());
    // A first run's delays are 0, below the arrows' range: one click lands inside it.
    const auto& delaySpin = *static_cast<CSpinButtonCtrl*>(dialog->GetDlgItem(Dlg::IDC_MIDIDELAY_SPIN));
    EXPECT_EQ(0u, dialog->MidiDelay());
    uitest::ClickArrow(delaySpin, -1);
    EXPECT_EQ(50u, dialog->MidiDelay());
    EXPECT_EQ("50", dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->GetWindowText());
}

TEST(DialogKeysTest, EnterSendsFromTheVoiceListAndPressesTheFocusedButton)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    CListBox& voices = dialog->VoiceList();
    uitest::ClickLine(voices, 1);
    EXPECT_TRUE(voices.HasFocus());
    uitest::PressKey(voices, Key::Up);
    uitest::PressKey(voices, Key::Enter);
    EXPECT_TRUE(dialog->IsWindowVisible());
    ASSERT_TRUE(Idle(*dialog));
    const auto received = bench.Received();
    ASSERT_EQ(1u, received.voices.size());
    EXPECT_EQ("Zeta Pad", CommonName(received, 0, 8));

    CloseUp(*dialog, Dlg::IDC_MIDIIN);
    uitest::PressKey(*dialog->GetDlgItem(Dlg::IDC_ID), Key::Enter);
    EXPECT_TRUE(dialog->JobRunning());
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ(2u, bench.Received().identityRequests);
    EXPECT_TRUE(dialog->IsWindowVisible());
    uitest::PressKey(*dialog->GetDlgItem(Dlg::IDC_QUIT), Key::Enter);
    EXPECT_FALSE(dialog->IsWindowVisible());
    EXPECT_EQ(IDCANCEL, dialog->Result());
}

TEST(DialogKeysTest, TheReCreatedVoiceListKeepsItsPlaceInTheTabOrder)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenOnBank(bench, boxes);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(uitest::Activate(*dialog));
    const CListBox& voices = dialog->VoiceList();
    const CWnd& files = dialog->FileList();
    const CWnd& catOrder = *dialog->GetDlgItem(Dlg::IDC_CATORDER);
    const CWnd& search = dialog->SearchField();
    // Each box makes the list anew (both ways, sorted and not); Tab and
    // Shift+Tab still pass through it between the search field and "Cat Order".
    for (const int box : {Dlg::IDC_SHOWINITS, Dlg::IDC_CATORDER, Dlg::IDC_SHOWINITS, Dlg::IDC_CATORDER}) {
        Click(*dialog, box);
        uitest::PressKey(files, Key::Tab);
        EXPECT_TRUE(search.HasFocus()) << box;
        uitest::PressKey(search, Key::Tab);
        EXPECT_TRUE(voices.HasFocus()) << box;
        uitest::PressKey(voices, Key::Tab);
        EXPECT_TRUE(catOrder.HasFocus()) << box;
        uitest::PressKey(catOrder, Key::BackTab);
        EXPECT_TRUE(voices.HasFocus()) << box;
    }
}

TEST(DialogEndTest, EnterDuringAJobEndsAfterItAndSavesTheSettings)
{
    Bench bench;
    bench.Store(bench.Folder(), 1);
    Boxes boxes;
    auto dialog = Open(boxes);
    EXPECT_TRUE(dialog->JobRunning());
    dialog->GetDlgItem(Dlg::IDC_MIDIDELAY)->SetWindowText("700");
    PressEnterIn(*dialog, Dlg::IDC_DEVICENO);
    EXPECT_TRUE(dialog->IsWindowVisible());  // held off
    uitest::PressKey(*dialog, Key::Escape);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !dialog->IsWindowVisible(); }));
    EXPECT_FALSE(dialog->JobBusy());
    EXPECT_EQ(IDCANCEL, dialog->Result());
    const auto stored = StoredSettings();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(700u, stored->midiDelay);  // taken over by Enter
    EXPECT_EQ(0, stored->midiIn);
    EXPECT_EQ(0, stored->midiOut);
    EXPECT_EQ(bench.Folder(), stored->path);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogEndTest, ClosingWhileNobodyAnswersStopsTheIdentification)
{
    virtual_ex5::Config off;
    off.silent = 1000;
    Bench bench(off);
    bench.Store(bench.Folder());
    Boxes boxes;
    auto dialog = Open(boxes);
    EXPECT_TRUE(dialog->JobRunning());
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_QUIT));
    ASSERT_TRUE(uitest::PumpUntil([&] { return bench.Received().identityRequests == 1; }));
    uitest::CloseBox(*dialog);
    EXPECT_TRUE(dialog->IsWindowVisible());
    ASSERT_TRUE(uitest::PumpUntil([&] { return !dialog->IsWindowVisible(); }, std::chrono::seconds(30)));
    // Stopped before its second request: a wait for all eight answers
    // would have sent them.
    EXPECT_EQ(1u, bench.Received().identityRequests);
    EXPECT_NE(std::string::npos, bench.Log().find("Midi:160 Job Cancelled"));
    EXPECT_EQ(std::string::npos, dialog->StatusText().find("Cancelled"));
    EXPECT_TRUE(StoredSettings().has_value());
}

TEST(DialogEndTest, ClosingSavesTheSevenSettingsAndTheLevelComesBack)
{
    Bench bench;
    Boxes boxes;
    {
        auto dialog = Open(boxes);
        ASSERT_TRUE(Idle(*dialog));
        Combo(*dialog, Dlg::IDC_MIDIIN).SetCurSel(0);
        static_cast<CButton*>(dialog->GetDlgItem(Dlg::IDC_ONTOP))->SetCheck(BST_CHECKED);
        dialog->UpdateKeepOnTop();
        EXPECT_TRUE(uitest::IsTopMost(*dialog));
        Click(*dialog, Dlg::IDC_QUIT);
        EXPECT_FALSE(dialog->IsWindowVisible());
    }
    auto stored = StoredSettings();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(0, stored->midiIn);
    EXPECT_EQ(-1, stored->midiOut);
    EXPECT_EQ(kInstrumentPort, stored->midiInName);
    EXPECT_EQ("", stored->midiOutName);
    EXPECT_EQ(1u, stored->deviceNo);
    EXPECT_EQ(0u, stored->sysexDelay);
    EXPECT_EQ(0u, stored->midiDelay);
    EXPECT_TRUE(stored->keepOnTop);
    auto again = Open(boxes);
    EXPECT_TRUE(uitest::IsTopMost(*again));
    ASSERT_TRUE(Idle(*again));
}

TEST(DialogEndTest, OnTopChangesTheLevelOfTheShownModalDialogWithoutEndingIt)
{
    Bench bench;
    bench.Store(bench.Folder());
    ModalDialog dialog;
    std::vector<bool> levels;
    bool sameWindow = true;
    std::uintptr_t window = 0;
    // Each click in an event-loop turn of its own, as a user's are: a
    // dialog hidden on the way ends its modal loop in between.
    std::function<void(int)> click = [&](int clicks) {
        if (clicks > 0) {
            levels.push_back(uitest::IsTopMost(dialog));
            // A window made anew is hidden first: the same window must change its level.
            sameWindow = sameWindow && dialog.IsWindowVisible() && uitest::NativeWindow(dialog) == window;
        }
        Click(dialog, clicks < 3 ? Dlg::IDC_ONTOP : Dlg::IDC_QUIT);
        if (clicks < 3) {
            dialog.PostCall([&click, clicks] { click(clicks + 1); });
        }
    };
    dialog.started = [&] {
        EXPECT_TRUE(Idle(dialog));
        window = uitest::NativeWindow(dialog);
        dialog.GetDlgItem(Dlg::IDC_SYSEXDELAY)->SetWindowText("26");
        uitest::PressKey(*dialog.GetDlgItem(Dlg::IDC_SYSEXDELAY), Key::Up);
        click(0);
    };
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_TRUE(sameWindow);
    EXPECT_EQ((std::vector<bool>{true, false, true}), levels);
    const auto stored = StoredSettings();
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->keepOnTop);
    EXPECT_EQ(27u, stored->sysexDelay);
}

#ifndef _WIN32  // the settings are files only off Windows, and a file can block their folder
TEST(DialogEndTest, SettingsThatCannotBeSavedAreSaidOnStandardErrorAndInTheLog)
{
    Bench bench;
    Boxes boxes;
    auto dialog = Open(boxes);
    ASSERT_TRUE(Idle(*dialog));
    // The settings' folder cannot be made once the dialog has started.
    const std::filesystem::path blocker = bench.Root() / "blocker";
    std::ofstream(blocker) << "x";
    const ScopedEnv config("SONDERIK_CONFIG_DIR", (blocker / "config").string());
    StandardErrorCapture error;
    Click(*dialog, Dlg::IDC_QUIT);
    EXPECT_FALSE(dialog->IsWindowVisible());
    const std::string said = error.Take();
    const std::string problem = "cannot save the settings in " + (blocker / "config" / "HKEY_LOCAL_MACHINE.txt").string();
    EXPECT_EQ(0u, said.rfind("sonderik: " + problem + ": ", 0)) << said;
    const std::string log = bench.Log();
    EXPECT_NE(std::string::npos, log.find("Sonderik: " + problem + ": ")) << log;
    EXPECT_TRUE(boxes.shown.empty());
}
#endif

TEST(DialogAuditionTest, ClosingWhileAButtonIsHeldSendsItsReleaseFirst)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenAfterASend(bench, boxes);
    ASSERT_TRUE(dialog);
    bench.Clear();
    uitest::Press(*dialog->GetDlgItem(Dlg::IDC_NOTE));
    uitest::Pump();
    uitest::CloseBox(*dialog);
    EXPECT_FALSE(dialog->IsWindowVisible());
    EXPECT_EQ(ThenOff({{0x90, 60, 64}}), bench.Received().channelMessages);
}

TEST(DialogAuditionTest, TheButtonsPlayWhileHeldOnThePortOfTheLastJob)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenAfterASend(bench, boxes);
    ASSERT_TRUE(dialog);
    dialog->SetRunPause(std::chrono::milliseconds(30));
    // Another port chosen since: the audition stays on the last job's.
    Combo(*dialog, Dlg::IDC_MIDIOUT).SetCurSel(-1);

    bench.Clear();
    const CWnd& major = *dialog->GetDlgItem(Dlg::IDC_MAJOR);
    uitest::Press(major);
    EXPECT_TRUE(bench.Received().channelMessages.empty());  // posted, not yet handled
    uitest::Pump();
    const std::vector<Bytes> chord{{0x90, 60, 64}, {0x90, 64, 64}, {0x90, 67, 64}};
    EXPECT_EQ(chord, bench.Received().channelMessages);
    uitest::Release(major);
    uitest::Pump();
    EXPECT_EQ(ThenOff(chord), bench.Received().channelMessages);

    // A click shorter than the run: the release waits in the queue.
    bench.Clear();
    Click(*dialog, Dlg::IDC_TRILL);
    uitest::Pump();
    const std::vector<Bytes> run{{0x90, 60, 64}, {0x90, 64, 64}, {0x90, 67, 64}, {0x90, 72, 64}};
    EXPECT_EQ(ThenOff(run), bench.Received().channelMessages);
    const auto times = bench.Received().channelTimes;
    ASSERT_GE(times.size(), 4u);
    EXPECT_GE(times[3] - times[0], std::chrono::milliseconds(85));

    // Control id 6 plays the run too.
    bench.Clear();
    dialog->PostMessage(kButtonPressMessage, 6, 0);
    dialog->PostMessage(kButtonReleaseMessage, 6, 0);
    uitest::Pump();
    EXPECT_EQ(ThenOff(run), bench.Received().channelMessages);
    EXPECT_EQ("Sent I1-002 Glass Grand to MIDI Out \"" + kInstrumentPort + "\".", dialog->StatusText());
}

TEST(DialogAuditionTest, FailuresReachTheStatusLineAndIdentificationHoldsTheButtons)
{
    Bench bench;
    Boxes boxes;
    auto dialog = OpenAfterASend(bench, boxes);
    ASSERT_TRUE(dialog);

    // The instrument's input taken by someone else: the press fails, the
    // dialog says why and goes on; the release works once it is free.
    HMIDIIN taken = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&taken, 0, 0, 0, CALLBACK_NULL));
    bench.Clear();
    const CWnd& note = *dialog->GetDlgItem(Dlg::IDC_NOTE);
    uitest::Press(note);
    uitest::Pump();
    EXPECT_EQ("MidiInWin:121 Cannot open MIDI device for input", dialog->StatusText());
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(taken));
    uitest::Release(note);
    uitest::Pump();
    EXPECT_EQ(5u, bench.Received().channelMessages.size());

    // Enabled after the send: disabled while "ID" runs, enabled again after.
    CloseUp(*dialog, Dlg::IDC_MIDIIN);
    Click(*dialog, Dlg::IDC_ID);
    EXPECT_TRUE(dialog->JobRunning());
    for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL}) {
        EXPECT_FALSE(Enabled(*dialog, id)) << id;
    }
    ASSERT_TRUE(Idle(*dialog));
    for (int id : {Dlg::IDC_NOTE, Dlg::IDC_MAJOR, Dlg::IDC_MINOR, Dlg::IDC_TRILL}) {
        EXPECT_TRUE(Enabled(*dialog, id)) << id;
    }
    // A file selected before: they stay disabled after "ID" reports back.
    Bank().Write((bench.Voices() / "other.s1v").string(), VoiceFileBuilder::Kind::S1v);
    SelectFile(*dialog, "other.s1v");
    uitest::ClickLine(dialog->VoiceList(), 1);
    CloseUp(*dialog, Dlg::IDC_MIDIIN);
    Click(*dialog, Dlg::IDC_ID);
    // A voice of it sent while "ID" runs is refused, and leaves them as
    // they were; the refusal goes once the job has ended.
    const std::size_t sent = bench.Received().voices.size();
    dialog->OnSendVoice();
    EXPECT_EQ("Please wait: the instrument is still busy with the last request.", dialog->StatusText());
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_QUIT));
    ASSERT_TRUE(Idle(*dialog));
    EXPECT_EQ("", dialog->StatusText());
    EXPECT_EQ(sent, bench.Received().voices.size());
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_NOTE));
    EXPECT_FALSE(Enabled(*dialog, Dlg::IDC_TRILL));
}
