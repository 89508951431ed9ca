#include "app/SonderikDlg.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>
#include <tuple>

#include "app/AboutDlg.h"
#include "app/DialogLayout.h"
#include "app/windows/ResourceIds.h"
#include "containers/ContainerPaths.h"
#include "instrument/Identity.h"
#include "instrument/LogFolder.h"
#include "midi/MidiInWin.h"
#include "midi/MidiOutWin.h"
#include "platform/NoCase.h"
#include "platform/files/OutputFile.h"
#include "platform/files/WinFiles.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/WinMidi.h"
#include "platform/registry/RegistryFile.h"
#include "voice/DialogSites.h"
#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

#ifndef SONDERIK_VERSION
#define SONDERIK_VERSION ""
#endif

namespace {

// The window's title and every box's it shows.
constexpr const char* kCaption = "Sonderik";
constexpr std::size_t kNameSize = 260;

layout::Rect ToLayout(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }
RECT FromLayout(const layout::Rect& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }

constexpr const char* kBusy = "Please wait: the instrument is still busy with the last request.";
constexpr const char* kLastJobRunning = "Please wait: the last job has not ended yet.";
static_assert(kMaxDeviceNumber == 127 && kMaxDelay == 10000, "the field check's messages name these ranges");

// What the arrows of the three number fields step through; typed values may
// go further (see UpdateData).
struct SpinRange {
    int lowest;
    int highest;
};
constexpr SpinRange kDeviceSpin{1, 16};
constexpr SpinRange kSysexDelaySpin{5, 100};
constexpr SpinRange kMidiDelaySpin{50, 2000};
// The voice list's columns, in dialog units: bank-number, then name.
constexpr int kCategoryTab = 14;
constexpr int kNameTab = 40;
// A search's hits name their file after the voice's name.
constexpr int kFileTab = 92;

// The voice list box as the voice library fills it.
class ListBoxVoices : public VoiceListView {
public:
    explicit ListBoxVoices(CListBox& list) : list_(list) {}
    bool IsSorted() const override { return (list_.GetStyle() & LBS_SORT) != 0; }
    void Append(const std::string& line) override { list_.AddString(line); }
    void InsertSorted(const std::string& line) override { list_.AddString(line); }
    void Clear() override { list_.ResetContent(); }
    int Count() const override { return list_.GetCount(); }
    std::string LineText(int index) const override { return list_.GetText(index); }

private:
    CListBox& list_;
};

// An unsigned decimal integer that fits 32 bits, as the field check reads it.
bool ParseUnsigned(const std::string& text, std::uint32_t& value)
{
    std::size_t start = text.find_first_not_of(' ');
    std::size_t end = text.find_last_not_of(' ');
    if (start == std::string::npos) {
        return false;
    }
    std::uint64_t n = 0;
    for (std::size_t i = start; i <= end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
        if (n > 0xFFFFFFFFull) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(n);
    return true;
}

}  // namespace

CSonderikDlg::CSonderikDlg(CDialog* parent)
    : CDialog(parent), bankImage(std::make_unique<BankImage>())
{
    SetWindowText(kCaption);
    // Resizable and with a maximise box: the template's size is the smallest.
    ModifyStyle(0, WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX);
    // One line more than the template, for the status line at the foot.
    SetTemplate(ui::kShellFont, 452, 296);
    CreateControls();
    for (const auto& [id, control] : Controls()) {
        m_laidOutFrom.emplace(id, control->GetWindowRect());
    }
    DragAcceptFiles(true);
    m_report = std::make_unique<ForwardingText>([this](const std::string& text) {
        // A job reports here only when it has no log: its failure is said
        // in words by its done handler, and its closing line is noise. The
        // job's report may be handled after its done (on Windows a sent done
        // overtakes a posted report), so whether a job sent it is told here,
        // while the sender waits.
        const bool fromJob = m_awaitingDone;
        PostCall([this, text, fromJob] {
            if (!fromJob && text.rfind("Finished instrument ident", 0) != 0) {
                SetStatus(text);
            }
        });
    });
    m_progress = std::make_unique<PostedReport>(*this, [this](const std::string& text) {
        // Never over news of its own the status line holds (a report of the
        // job, a settings file set aside at start-up).
        const std::string status = StatusText();
        if (m_identifying && (status.empty() || status == m_waitingLine)) {
            m_waitingLine = text + "...";
            SetStatus(m_waitingLine);
        }
    });
    m_browser = std::make_unique<FolderBrowser>(m_tree, m_files, m_path, m_strPath, m_bTreeFilled);
    m_browser->onProblem = [this](const std::string& path, const std::string& problem) {
        SetStatus(status::FolderFailed(path, problem));
    };
}

CSonderikDlg::~CSonderikDlg()
{
    // A search stops before its next file; what it would show is dropped.
    StopSearches(true);
    // A job's last word to a closed field returns at once, so the job can end
    // and be joined here; only then do the fields and the record go.
    m_doneIdent.Close();
    m_doneSend.Close();
    // m_jobs goes first of the members: its worker joins within its own
    // bound, or is named and the program ends, before the state it uses goes.
}

void CSonderikDlg::CreateControls()
{
    CDialog* const self = this;
    const auto r = [this](int x, int y, int w, int h) { return DialogRect(x, y, w, h); };

    m_quit.Create("Quit", BS_PUSHBUTTON | WS_TABSTOP, r(399, 266, 44, 14), self, IDC_QUIT);
    m_groups[0].Create("MIDI Parameters", BS_GROUPBOX, r(5, 5, 441, 65), self, IDC_MIDIPARAMS);
    m_labels[0].Create("MIDI In:", r(12, 18, 45, 12), self, IDC_MIDIIN_LABEL);
    m_labels[1].Create("Device No:", r(12, 52, 45, 12), self, IDC_DEVICENO_LABEL);
    m_midiIn.Create(WS_TABSTOP | WS_VSCROLL, r(68, 16, 178, 100), self, IDC_MIDIIN);
    m_midiOut.Create(WS_TABSTOP | WS_VSCROLL, r(68, 34, 178, 100), self, IDC_MIDIOUT);
    m_deviceNo.Create(ES_NUMBER | ES_RIGHT | WS_TABSTOP, r(68, 52, 26, 12), self, IDC_DEVICENO);
    m_deviceSpin.Create(UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS, r(88, 52, 10, 12), self,
                        IDC_DEVICENO_SPIN, m_deviceNo);
    m_labels[2].Create("Instrument:", r(98, 52, 34, 12), self, IDC_INSTRUMENT_LABEL);
    m_instrument.Create(ES_AUTOHSCROLL | WS_TABSTOP, r(151, 52, 94, 12), self, IDC_INSTRUMENT);
    m_groups[1].Create("Audition", BS_GROUPBOX, r(394, 172, 54, 85), self, IDC_AUDITION_GROUP);
    m_minor.Create("Minor...", BS_PUSHBUTTON | WS_TABSTOP, r(399, 221, 44, 14), self, IDC_MINOR);
    m_major.Create("Major...", BS_PUSHBUTTON | WS_TABSTOP, r(399, 203, 44, 14), self, IDC_MAJOR);
    m_trill.Create("Trill...", BS_PUSHBUTTON | WS_TABSTOP, r(399, 239, 44, 14), self, IDC_TRILL);
    m_id.Create("ID", BS_PUSHBUTTON | WS_TABSTOP, r(135, 52, 14, 12), self, IDC_ID);
    m_doneIdent.Create(r(410, 12, 30, 12), self, IDC_IDENTDONE);
    m_groups[2].Create("Folders, voice files and voices", BS_GROUPBOX, r(5, 76, 383, 180), self, IDC_FILES_GROUP);
    m_tree.Create(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP |
                      WS_TABSTOP,
                  r(9, 88, 143, 164), self, IDC_TREE);
    m_path.Create("", r(9, 266, 386, 12), self, IDC_PATH);
    m_files.Create(LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, r(157, 88, 100, 164), self,
                   IDC_FILES);
    m_search.Create(ES_AUTOHSCROLL | WS_TABSTOP, r(262, 88, 122, 12), self, IDC_SEARCH);
    m_search.SetCueBanner("Search voices in this folder");
    m_voices.Create(LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                    r(262, 102, 122, 150), self, IDC_VOICES);
    m_groups[3].Create("Settings", BS_GROUPBOX, r(394, 76, 54, 92), self, IDC_SETTINGS_GROUP);
    m_catOrder.Create("Cat Order", BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP, r(396, 100, 48, 8), self,
                      IDC_CATORDER);
    m_doneSend.Create(r(410, 28, 30, 12), self, IDC_SENDDONE);
    m_labels[3].Create("MIDI Out:", r(12, 36, 45, 12), self, IDC_MIDIOUT_LABEL);
    m_labels[4].Create("SysEx Delay:", r(287, 17, 45, 12), self, IDC_SYSEXDELAY_LABEL);
    m_sysexDelay.Create(ES_NUMBER | ES_RIGHT | WS_TABSTOP, r(333, 17, 35, 12), self, IDC_SYSEXDELAY);
    m_sysexDelaySpin.Create(UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS, r(362, 17, 11, 12), self,
                            IDC_SYSEXDELAY_SPIN, m_sysexDelay);
    m_labels[5].Create("MIDI Delay:", r(287, 34, 40, 12), self, IDC_MIDIDELAY_LABEL);
    m_midiDelay.Create(ES_NUMBER | ES_RIGHT | WS_TABSTOP, r(333, 33, 35, 12), self, IDC_MIDIDELAY);
    m_midiDelaySpin.Create(UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                           r(362, 33, 11, 12), self, IDC_MIDIDELAY_SPIN, m_midiDelay);
    m_showInitsBox.Create("Show Inits", BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP, r(396, 112, 48, 8), self,
                          IDC_SHOWINITS);
    m_note.Create("Note...", BS_PUSHBUTTON | WS_TABSTOP, r(399, 185, 44, 14), self, IDC_NOTE);
    m_onTop.Create("On top?", BS_AUTOCHECKBOX | BS_LEFTTEXT, r(396, 88, 48, 8), self, IDC_ONTOP);
    // The status line keeps the last message and, as every label, never
    // takes the focus.
    m_status.Create("", r(5, 283, 442, 10), self, IDC_STATUS);

    // Notifications.
    m_quit.onClicked = [this] { OnCancel(); };
    m_id.onClicked = [this] {
        SetStatus("");  // what it said is about what came before
        Guard([this] { IdentifyInstrument(); });
    };
    m_doneIdent.onUpdate = [this] { Guard([this] { OnIdentifyDone(); }); };
    m_doneSend.onUpdate = [this] { Guard([this] { OnSendDone(); }); };
    m_catOrder.onClicked = [this] { Guard([this] { OnCatOrder(); }); };
    m_showInitsBox.onClicked = [this] { Guard([this] { OnShowInits(); }); };
    m_onTop.onClicked = [this] { Guard([this] { UpdateKeepOnTop(); }); };
    m_voices.onDblClk = [this] { Guard([this] { OnSendVoice(); }); };
    m_voices.onContextMenu = [this](POINT at) { OnVoiceContextMenu(at); };
    m_files.onSelChange = [this] { Guard([this] { OnFileSelected(); }); };
    m_midiIn.onDropDown = [this] { Guard([this] { OnPortDropDown(); }); };
    m_midiOut.onDropDown = [this] { Guard([this] { OnPortDropDown(); }); };
    m_midiIn.onCloseUp = [this] { Guard([this] { OnPortCloseUp(); }); };
    m_midiOut.onCloseUp = [this] { Guard([this] { OnPortCloseUp(); }); };
    m_deviceSpin.onDeltaPos = [this](int pos, int delta) { return OnDeltaPos(m_deviceSpin, m_nDeviceNo, pos, delta); };
    m_sysexDelaySpin.onDeltaPos = [this](int pos, int delta) {
        return OnDeltaPos(m_sysexDelaySpin, m_nSysexDelay, pos, delta);
    };
    m_midiDelaySpin.onDeltaPos = [this](int pos, int delta) {
        return OnDeltaPos(m_midiDelaySpin, m_nMidiDelay, pos, delta);
    };
    m_tree.onItemExpanding = [this](HTREEITEM item, UINT action) {
        Guard([&] {
            BeginWaitCursor();
            m_browser->OnItemExpanding(item, action);
        });
        EndWaitCursor();
        return false;
    };
    m_tree.onSelChanged = [this](HTREEITEM, HTREEITEM item) {
        Guard([&] {
            const std::string before = m_strPath;
            m_browser->OnSelChanged(item);
            if (m_strPath != before) {
                // The file its voices came from is not listed any more.
                m_voices.ResetContent();
                m_bankFile.clear();
            }
        });
    };
}

std::vector<std::pair<int, CWnd*>> CSonderikDlg::Controls() const
{
    CWnd* const all[] = {
        const_cast<CButton*>(&m_quit), const_cast<CButton*>(&m_groups[0]), const_cast<CStatic*>(&m_labels[0]),
        const_cast<CStatic*>(&m_labels[1]), const_cast<CComboBox*>(&m_midiIn), const_cast<CComboBox*>(&m_midiOut),
        const_cast<CEdit*>(&m_deviceNo), const_cast<CSpinButtonCtrl*>(&m_deviceSpin),
        const_cast<CStatic*>(&m_labels[2]), const_cast<CEdit*>(&m_instrument), const_cast<CButton*>(&m_groups[1]),
        const_cast<AuditionButton*>(&m_minor), const_cast<AuditionButton*>(&m_major),
        const_cast<AuditionButton*>(&m_trill), const_cast<CButton*>(&m_id), const_cast<CDoneEdit*>(&m_doneIdent),
        const_cast<CButton*>(&m_groups[2]), const_cast<CTreeCtrl*>(&m_tree), const_cast<CStatic*>(&m_path),
        const_cast<CListBox*>(&m_files), const_cast<CEdit*>(&m_search), const_cast<CListBox*>(&m_voices), const_cast<CButton*>(&m_groups[3]),
        const_cast<CButton*>(&m_catOrder), const_cast<CDoneEdit*>(&m_doneSend), const_cast<CStatic*>(&m_labels[3]),
        const_cast<CStatic*>(&m_labels[4]), const_cast<CEdit*>(&m_sysexDelay),
        const_cast<CSpinButtonCtrl*>(&m_sysexDelaySpin), const_cast<CStatic*>(&m_labels[5]),
        const_cast<CEdit*>(&m_midiDelay), const_cast<CSpinButtonCtrl*>(&m_midiDelaySpin),
        const_cast<CButton*>(&m_showInitsBox), const_cast<AuditionButton*>(&m_note), const_cast<CButton*>(&m_onTop),
        const_cast<CStatic*>(&m_status),
    };
    std::vector<std::pair<int, CWnd*>> controls;
    for (CWnd* control : all) {
        controls.emplace_back(control->GetDlgCtrlID(), control);
    }
    return controls;
}

CWnd* CSonderikDlg::GetDlgItem(int id) const
{
    for (const auto& [controlId, control] : Controls()) {
        if (controlId == id) {
            return control;
        }
    }
    return nullptr;
}

template <typename Body>
void CSonderikDlg::Guard(Body&& body)
{
    try {
        body();
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        char line[EXParams::kTextSize];
        FormatEX(e.get(), line, sizeof line);
        // What the dialog's own sites raise says why here too; the port
        // classes' reasons go to the job's log and the command line.
        const bool why = e && e->reason[0] != '\0' && std::string_view(e->sourceFile) == dialog_site::kUnit;
        SetStatus(why ? std::string(line) + " (" + e->reason + ")" : std::string(line));
    } catch (const std::exception& e) {
        SetStatus(e.what());
    } catch (...) {
        SetStatus("Unidentified error");
    }
}

void CSonderikDlg::SetStatus(const std::string& text)
{
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) {
        shown.pop_back();
    }
    m_status.SetWindowText(shown);
    m_status.SetToolTipText(shown);
}

std::string CSonderikDlg::StatusText() const { return m_status.GetWindowText(); }

int CSonderikDlg::MessageBoxA(const std::string& text, UINT type)
{
    if (m_messageBox) {
        return m_messageBox(this, text, type);
    }
    return ui::MessageBoxA(this, text, kCaption, type);
}

bool CSonderikDlg::OnInitDialog()
{
    // The order matters: the port lists must be filled before the settings
    // select their lines, and the identification comes last, with whatever
    // the settings chose.
    UpdateData(false);
    // Where the window system has no menu of the program's on the title bar,
    // the about item lives on the background's context menu (and F1).
    AppendSystemMenu(IDM_ABOUTBOX, "&About Sonderik...");
    SetIcon(IDI_SONDERIK);
    ReadVersion();
    FillPortLists();
    m_deviceSpin.SetRange32(kDeviceSpin.lowest, kDeviceSpin.highest);
    m_nDeviceNo = 1;
    m_sysexDelaySpin.SetRange32(kSysexDelaySpin.lowest, kSysexDelaySpin.highest);
    m_midiDelaySpin.SetRange32(kMidiDelaySpin.lowest, kMidiDelaySpin.highest);
    // Nothing to audition or order before a file is read and a voice sent.
    m_bTreeFilled = false;
    EnableAudition(false);
    EnableListOptions(false);
    showInits = 0;
    m_tabStops = {kCategoryTab, kNameTab, kFileTab};
    m_voices.SetTabStops(m_tabStops);
    const SetAsideWatch setAside;
    LoadSettings(*this);
    // What start-up has to say goes to the status line together, what
    // matters first, as a long path may not fit (the whole text is the
    // line's tool tip); a box would come before the window.
    std::vector<std::string> notices;
    for (const SetAsideWatch::SetAside& aside : setAside.Since()) {
        notices.push_back("Settings could not be read; built-in values are used. " +
                          (aside.asideName.empty()
                               ? aside.file.string() + " could not be set aside (is its folder writable?)."
                               : "The file was set aside as " + (aside.file.parent_path() / aside.asideName).string() +
                                     "."));
    }
    KeepLoadedInRange(notices);
    if (!m_missingOut.empty()) {
        notices.push_back(status::StoredPortMissing("MIDI Out", m_missingOut));
    }
    if (!m_missingIn.empty()) {
        notices.push_back(status::StoredPortMissing("MIDI In", m_missingIn));
    }
    for (const std::string& notice : notices) {
        m_startNotice += (m_startNotice.empty() ? "" : " ") + notice;
    }
    if (!m_startNotice.empty()) {
        SetStatus(m_startNotice);
    }
    ApplyWindowPlace();
    if (m_catOrder.GetCheck() != BST_UNCHECKED) {
        OnCatOrder();  // the list is empty yet: only made sorted
    }
    UpdateData(false);
    UpdateKeepOnTop();
    // Every start names the instrument; the tree is filled when it answers.
    Guard([this] { IdentifyInstrument(); });
    return true;
}

void CSonderikDlg::ReadVersion()
{
    m_szVersion[0] = '\0';
    int major = 0;
    int minor = 0;
    int build = 0;
    if (std::sscanf(SONDERIK_VERSION, "%d.%d.%d", &major, &minor, &build) != 3) {
        major = minor = build = 0;
    }
    if (major + minor + build > 0) {
        std::snprintf(m_szVersion, sizeof m_szVersion, "%d.%d.%d", major, minor, build);
    }
}

void CSonderikDlg::FillPortLists()
{
    // Line n stands for port n of the layer's listing, which the counts make.
    const UINT ins = midiInGetNumDevs();
    for (UINT n = 0; n < ins; ++n) {
        char name[kNameSize] = {};
        try {
            MidiInWin::GetDeviceName(n, name, static_cast<int>(kNameSize));
        } catch (EXException* e) {
            delete e;  // a port gone since it was counted keeps its line, unnamed
        }
        m_midiIn.InsertString(static_cast<int>(n), name);
    }
    const UINT outs = midiOutGetNumDevs();
    for (UINT n = 0; n < outs; ++n) {
        char name[kNameSize] = {};
        try {
            MidiOutWin::GetDeviceName(n, name, static_cast<int>(kNameSize));
        } catch (EXException* e) {
            delete e;
        }
        m_midiOut.InsertString(static_cast<int>(n), name);
    }
}

// --- settings

namespace {

// A stored port selects the line ChoosePort finds for it among the names
// the list shows, the command line's rule. The stored name the list does not
// have, or empty.
std::string SelectPort(CComboBox& list, const StoredPort& port)
{
    std::vector<std::string> lines;
    for (int i = 0, n = list.GetCount(); i < n; ++i) {
        lines.push_back(list.GetLBText(i));
    }
    const int line = ChoosePort(lines, port);
    list.SetCurSel(line);
    return line < 0 ? port.name : std::string();
}

StoredPort SelectedPort(const CComboBox& list)
{
    const int line = list.GetCurSel();
    return line < 0 ? StoredPort{} : StoredPort{line, list.GetLBText(line)};
}

}  // namespace

void CSonderikDlg::SelectMidiIn(const StoredPort& port) { m_missingIn = SelectPort(m_midiIn, port); }
StoredPort CSonderikDlg::SelectedMidiIn() const { return SelectedPort(m_midiIn); }
void CSonderikDlg::SelectMidiOut(const StoredPort& port) { m_missingOut = SelectPort(m_midiOut, port); }
StoredPort CSonderikDlg::SelectedMidiOut() const { return SelectedPort(m_midiOut); }
void CSonderikDlg::SetKeepOnTop(bool onTop) { m_onTop.SetCheck(onTop ? BST_CHECKED : BST_UNCHECKED); }
bool CSonderikDlg::KeepOnTop() const { return m_onTop.GetCheck() != BST_UNCHECKED; }

void CSonderikDlg::SetListOrder(bool catOrder, bool shown)
{
    m_catOrder.SetCheck(catOrder ? BST_CHECKED : BST_UNCHECKED);
    m_showInitsBox.SetCheck(shown ? BST_CHECKED : BST_UNCHECKED);
    showInits = shown ? 1 : 0;
}

bool CSonderikDlg::CatOrder() const { return m_catOrder.GetCheck() != BST_UNCHECKED; }

std::string CSonderikDlg::WindowPlace() const
{
    // Once shown, where the window is now; before, what was loaded.
    if (!IsWindowVisible()) {
        return m_windowPlace;
    }
    return layout::FormatPlace(ToLayout(GetWindowRect()));
}

void CSonderikDlg::KeepLoadedInRange(std::vector<std::string>& notices)
{
    struct Held {
        std::uint32_t& value;
        std::uint32_t most;
        const char* what;
        const char* unit;
    };
    for (const Held& held : {Held{m_nDeviceNo, kMaxDeviceNumber, "device number", ""},
                             Held{m_nSysexDelay, kMaxDelay, "SysEx delay", " ms"},
                             Held{m_nMidiDelay, kMaxDelay, "MIDI delay", " ms"}}) {
        if (const std::string said = KeepStoredInRange(held.value, held.most, held.what, held.unit); !said.empty()) {
            notices.push_back(status::Sentence(said));
        }
    }
}

// --- fields

bool CSonderikDlg::UpdateData(bool save)
{
    struct Field {
        CEdit& edit;
        std::uint32_t& held;
        std::uint32_t most;
        const char* outOfRange;
    };
    Field fields[] = {
        {m_deviceNo, m_nDeviceNo, kMaxDeviceNumber, "Device No must be 0 to 127."},
        {m_sysexDelay, m_nSysexDelay, kMaxDelay, "Delay must be 0 to 10000 ms."},
        {m_midiDelay, m_nMidiDelay, kMaxDelay, "Delay must be 0 to 10000 ms."},
    };
    for (Field& field : fields) {
        if (!save) {
            field.edit.SetWindowText(std::to_string(field.held));
            continue;
        }
        std::uint32_t value = 0;
        const bool number = ParseUnsigned(field.edit.GetWindowText(), value);
        if (!number || value > field.most) {
            MessageBoxA(number ? field.outOfRange : "Please enter a positive integer.", MB_OK | MB_ICONEXCLAMATION);
            field.edit.SetFocus();
            return false;
        }
        field.held = value;
    }
    return true;
}

JobSettings CSonderikDlg::HeldSettings() const
{
    JobSettings settings;
    const StoredPort in = SelectedMidiIn();
    const StoredPort out = SelectedMidiOut();
    settings.midiInPort = static_cast<std::uint32_t>(in.line);
    settings.midiOutPort = static_cast<std::uint32_t>(out.line);
    settings.midiInName = in.name;
    settings.midiOutName = out.name;
    settings.deviceNumber = m_nDeviceNo;
    settings.sysexDelay = m_nSysexDelay;
    settings.midiDelay = m_nMidiDelay;
    return settings;
}

bool CSonderikDlg::OnDeltaPos(CSpinButtonCtrl& spin, std::uint32_t& held, int pos, int delta)
{
    int lower = 0;
    int upper = 0;
    spin.GetRange32(lower, upper);
    const long long wanted = static_cast<long long>(pos) + delta;
    held = static_cast<std::uint32_t>(wanted < lower ? lower : (wanted > upper ? upper : wanted));
    return true;
}

// --- jobs

bool CSonderikDlg::StartJob(JobRunner::Job job, const std::function<void()>& fill)
{
    const auto refuse = [this](const char* text) {
        m_busyStatus = text;
        SetStatus(text);
        return false;
    };
    if (m_awaitingDone) {
        return refuse(kBusy);
    }
    // Its "Done" came, so the last job only closes its log: wait for that.
    if (m_jobs.Busy() && !m_jobs.Wait(m_joinBound)) {
        return refuse(kLastJobRunning);
    }
    m_jobPorts = JobPortNames();
    const auto fillWithLog = [&] {
        fill();
        m_params.logFolder = m_logFolder;
    };
    // Before the start: the job may report at once.
    m_awaitingDone = true;
    if (!m_jobs.Start(job, m_params, fillWithLog)) {
        m_awaitingDone = false;
        return refuse(kLastJobRunning);
    }
    return true;
}

status::JobPorts CSonderikDlg::JobPortNames() const
{
    return {SelectedMidiOut().name, SelectedMidiIn().name, m_missingOut, m_missingIn};
}

void CSonderikDlg::ClearStatus(const std::string& text)
{
    if (!text.empty() && StatusText() == text) {
        SetStatus("");
    }
}

bool CSonderikDlg::ShowFailure(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    // News from start-up stays in front of what came of it.
    const std::string status = StatusText();
    SetStatus(!m_startNotice.empty() && status == m_startNotice ? m_startNotice + " " + text : text);
    return true;
}

void CSonderikDlg::IdentifyInstrument()
{
    if (m_awaitingDone) {
        m_busyStatus = kBusy;
        SetStatus(kBusy);
        return;
    }
    UpdateData(true);
    m_instrument.SetWindowText("");
    if (!PortsStillListed()) {
        if (!m_bTreeFilled) {
            m_browser->FillTreeRoot(m_strPath);
        }
        return;
    }
    const JobSettings settings = HeldSettings();
    m_id.EnableWindow(false);
    m_quit.EnableWindow(false);
    m_closeUpPending = false;
    const bool started = StartJob(&IdentifyJob, [&] {
        m_params.PrepareIdentify(m_doneIdent.Handle(), settings, m_szVersion);
        m_params.timeout = m_nTimeout;
        m_params.attempts = m_nRetries + 1;
        m_params.reportWindow = m_report->Handle();
        m_params.progressWindow = m_progress->Handle();
    });
    if (!started) {
        m_id.EnableWindow(true);
        m_quit.EnableWindow(true);
        return;
    }
    m_identifying = true;
    ShowAuditionState();
}

void CSonderikDlg::OnIdentifyDone()
{
    m_awaitingDone = false;
    m_identifying = false;
    ClearStatus(m_busyStatus);
    // A report of the job's own has replaced the waiting line; otherwise the
    // waiting is over and its line goes.
    ClearStatus(m_waitingLine);
    m_waitingLine.clear();
    ShowAuditionState();
    m_midiIn.EnableWindow(true);
    m_midiOut.EnableWindow(true);
    m_deviceNo.EnableWindow(true);
    m_deviceSpin.EnableWindow(true);
    m_quit.EnableWindow(true);
    // "ID" stays disabled, unless a port list was closed up while the job ran.
    if (m_closeUpPending) {
        m_id.EnableWindow(true);
        m_closeUpPending = false;
    }
    EndWaitCursor();
    // A failed identification found nothing: what an earlier one found is
    // not shown as if it had been found again.
    if (!ShowFailure(status::IdentifyFailed(ClassifyJobFailure(m_params.errorText), m_jobPorts, m_params.logFolder)) &&
        m_params.errorText[0] == '\0') {
        m_instrument.SetWindowText(m_params.identResult);
        if (m_params.answeredPass == 2 && IsFamilyModel(m_params.identResult)) {
            ShowFailure(status::AnsweredAsDevice(m_params.identResult, m_params.deviceNumber, m_nDeviceNo));
        } else if (m_params.answeredPass == 0 && !m_endPending) {
            ShowFailure(status::NoReply(m_jobPorts));
        }
    }
    m_strOpenPath = m_strPath;
    if (!m_bTreeFilled && !m_endPending) {
        // A file or folder the window was given opens instead of the saved folder.
        if (m_openTarget) {
            m_strOpenPath = m_openTarget->folder;
        }
        m_browser->FillTreeRoot(m_strOpenPath);
        OpenPendingTarget();
    }
    EndAfterJob();
}

void CSonderikDlg::OnSendDone()
{
    m_awaitingDone = false;
    ClearStatus(m_busyStatus);
    m_quit.EnableWindow(true);
    EnableAudition(true);
    if (m_closeUpPending) {
        m_id.EnableWindow(true);
        m_closeUpPending = false;
    }
    EndWaitCursor();
    const JobFailure failure = ClassifyJobFailure(m_params.errorText);
    if (failure.kind == JobFailureKind::None) {
        SetStatus(status::Sent(m_sendingLine, m_jobPorts.out));
    } else {
        ShowFailure(status::SendFailed(failure, ShownVoice(m_sendingLine), m_jobPorts, m_params.logFolder));
    }
    EndAfterJob();
}

void CSonderikDlg::OnPortDropDown()
{
    // Ports come and go (a device plugged in, a JACK server started again):
    // a list opened is made current. Not under a running job, whose ports
    // are lines of the listing it was given.
    if (m_awaitingDone) {
        return;
    }
    platform::RescanMidiPorts();
    RefreshPortLists();
}

bool CSonderikDlg::PortsStillListed()
{
    const auto listed = [](const CComboBox& list, auto caps, auto getCaps) {
        const int line = list.GetCurSel();
        return line < 0 || (getCaps(static_cast<UINT>(line), &caps, sizeof caps) == MMSYSERR_NOERROR &&
                            list.GetLBText(line) == caps.szPname);
    };
    if (listed(m_midiIn, MIDIINCAPSA{}, midiInGetDevCapsA) && listed(m_midiOut, MIDIOUTCAPSA{}, midiOutGetDevCapsA)) {
        return true;
    }
    // The layer listed its ports anew (an open failed): each line is looked
    // up again by its name.
    return RefreshPortLists();
}

bool CSonderikDlg::RefreshPortLists()
{
    // A stored port that was not there at start-up is taken when it comes.
    const StoredPort in = m_midiIn.GetCurSel() >= 0 ? SelectedMidiIn() : StoredPort{-1, m_missingIn};
    const StoredPort out = m_midiOut.GetCurSel() >= 0 ? SelectedMidiOut() : StoredPort{-1, m_missingOut};
    m_midiIn.ResetContent();
    m_midiOut.ResetContent();
    FillPortLists();
    const std::string missingIn = m_missingIn;
    const std::string missingOut = m_missingOut;
    SelectMidiIn(in);
    SelectMidiOut(out);
    // A port that only moved is followed; one that went is said, never
    // replaced by whatever took its line.
    std::string gone;
    for (const auto& [list, port, missing, before] :
         {std::tuple{"MIDI Out", out, m_missingOut, missingOut}, std::tuple{"MIDI In", in, m_missingIn, missingIn}}) {
        if (!missing.empty() && missing != before) {
            gone += (gone.empty() ? "" : " ") + status::PortGone(list, port.name);
        }
    }
    if (!gone.empty()) {
        SetStatus(gone);
    }
    if (m_missingIn.empty() && m_missingOut.empty()) {
        ClearStatus(m_startNotice);
    }
    return gone.empty();
}

void CSonderikDlg::OnPortCloseUp()
{
    // The one EXParams must not be refilled under a running job: "ID" waits for its end.
    if (m_awaitingDone) {
        m_closeUpPending = true;
        return;
    }
    m_id.EnableWindow(true);
}

// --- ending

void CSonderikDlg::OnOK()
{
    // Enter in the voice list sends the voice, as a double-click does.
    if (m_voices.HasFocus()) {
        Guard([this] { OnSendVoice(); });
        return;
    }
    if (m_search.HasFocus()) {
        Guard([this] { StartSearch(); });
        return;
    }
    if (!UpdateData(true)) {
        return;
    }
    TryEnd(IDOK);
}

void CSonderikDlg::OnCancel() { TryEnd(IDCANCEL); }

void CSonderikDlg::TryEnd(int result)
{
    if (m_awaitingDone) {
        // Held off until the job has reported back. An identification is
        // asked to stop before its next request; a voice on its way is let go.
        m_endPending = true;
        m_endResult = result;
        if (m_identifying) {
            m_jobs.Cancel();
            SetStatus("Closing: the identification stops after the request now waiting.");
        } else {
            SetStatus("Closing as soon as the voice has been sent.");
        }
        return;
    }
    // Its "Done" came, so the job only closes its port and its log: the
    // window need not wait for that. It is joined, within the worker's own
    // bound, when the dialog goes.
    // A note held by an audition button would sound on after the window.
    if (m_auditionHeld) {
        StopAudition(0, 0);
    }
    m_endPending = false;
    EndDialog(result);
}

void CSonderikDlg::EndAfterJob()
{
    if (m_endPending) {
        // After the done handler has returned and the job has been let go.
        PostMessage(kEndMessage, 0, 0);
    }
}

void CSonderikDlg::DestroyWindow()
{
    // The window is going, so the one left to tell is whoever reads the
    // terminal or the log the jobs write.
    if (std::string problem; !SaveSettings(*this, &problem)) {
        std::fprintf(stderr, "sonderik: %s\n", problem.c_str());
        AppendToLog(m_logFolder, problem);
    }
    m_browser->Dismantle();
}

// --- enabling

void CSonderikDlg::EnableAudition(bool enable)
{
    m_auditionEnabled = enable;
    ShowAuditionState();
}

void CSonderikDlg::ShowAuditionState()
{
    const bool enable = m_auditionEnabled && !m_identifying;
    m_note.EnableWindow(enable);
    m_minor.EnableWindow(enable);
    m_major.EnableWindow(enable);
    m_trill.EnableWindow(enable);
}

int CSonderikDlg::OnAuditionPress(int controlId, std::uint32_t position)
{
    int result = 1;
    m_auditionHeld = true;  // even a press that failed half-way may have started notes
    Guard([&] { result = m_audition.OnAuditionPress(controlId, position); });
    return result;
}

int CSonderikDlg::StopAudition(int controlId, std::uint32_t position)
{
    int result = 1;
    m_auditionHeld = false;
    Guard([&] { result = m_audition.StopAudition(controlId, position); });
    return result;
}

bool CSonderikDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The buttons post these; both run here, one after the other, so a
    // release waits for the press it follows to have played all its notes.
    switch (message) {
    case kButtonPressMessage:
        OnAuditionPress(static_cast<int>(wParam), static_cast<std::uint32_t>(lParam));
        return true;
    case kButtonReleaseMessage:
        StopAudition(static_cast<int>(wParam), static_cast<std::uint32_t>(lParam));
        return true;
    case kEndMessage:
        TryEnd(m_endResult);
        return true;
    default:
        return CDialog::OnMessage(message, wParam, lParam);
    }
}

void CSonderikDlg::EnableListOptions(bool enable)
{
    m_showInitsBox.EnableWindow(enable);
    m_catOrder.EnableWindow(enable);
}

void CSonderikDlg::UpdateKeepOnTop()
{
    const bool top = m_onTop.GetCheck() != BST_UNCHECKED;
    SetWindowPos(top ? ZOrder::TopMost : ZOrder::NoTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// --- voice file and voice list

void CSonderikDlg::FillVoices()
{
    if (m_hitsShown) {
        ShowHits();
        return;
    }
    ListBoxVoices view(m_voices);
    FillVoiceList(view, *bankImage, showInits != 0);
}

// --- search

void CSonderikDlg::StopSearches(bool wait)
{
    for (SearchRun& run : m_searches) {
        *run.cancel = true;
    }
    // The dialog's thread waits only for a search that has ended, but for
    // the dialog's own end.
    const auto joined = [wait](SearchRun& run) {
        if (!wait && !*run.finished) {
            return false;
        }
        run.thread.join();
        return true;
    };
    m_searches.erase(std::remove_if(m_searches.begin(), m_searches.end(), joined), m_searches.end());
}

void CSonderikDlg::StartSearch()
{
    const std::string text = m_search.GetWindowText();
    ++m_searchGeneration;
    if (text.empty()) {
        // Back to the file's own voices.
        m_hitsShown = false;
        m_hits.clear();
        m_voices.ResetContent();
        if (!m_bankFile.empty()) {
            FillVoices();
        }
        return;
    }
    if (m_strPath.empty()) {
        SetStatus("Choose a folder in the tree to search its voices.");
        return;
    }
    // A search still running is for text no longer asked for.
    StopSearches(false);
    browser::SearchRequest request;
    request.folder = m_strPath;
    request.text = text;
    request.showInits = showInits != 0;
    m_searchFolder = m_strPath;
    m_searchText = text;
    SetStatus("Searching " + m_strPath + " for \"" + text + "\"...");
    const unsigned generation = m_searchGeneration;
    SearchRun run{{}, std::make_shared<std::atomic<bool>>(false), std::make_shared<std::atomic<bool>>(false)};
    run.thread = std::thread([this, request, generation, cancel = run.cancel, finished = run.finished] {
        browser::SearchRequest asked = request;
        asked.cancel = cancel.get();
        browser::SearchResult result;
        try {
            result = browser::SearchVoices(asked);
        } catch (const std::exception& failure) {
            // Said in the status line; the thread must not end the program.
            result = browser::SearchResult{};
            result.problem = failure.what();
        }
        // Handed over to the dialog's thread; dropped there if a newer search began.
        PostCall([this, generation, found = std::move(result)]() mutable {
            Guard([&] { ShowSearchResult(generation, std::move(found)); });
        });
        *finished = true;
    });
    m_searches.push_back(std::move(run));
}

void CSonderikDlg::ShowSearchResult(unsigned generation, browser::SearchResult result)
{
    if (generation != m_searchGeneration || result.cancelled) {
        return;
    }
    if (!result.problem.empty()) {
        SetStatus("Cannot search " + m_searchFolder + ": " + result.problem + ".");
        return;
    }
    m_hits = std::move(result.hits);
    m_hitsShown = true;
    m_bankFile.clear();
    // No one file is shown now: the file list lets its file go, so that
    // choosing it again shows its voices.
    m_files.SetCurSel(-1);
    EnableAudition(false);
    ShowHits();
    // Said of the text searched for, whatever the field holds by now.
    const std::string text = "\"" + m_searchText + "\"";
    std::string said = m_hits.empty() ? "No voice under " + m_searchFolder + " is named with " + text + "."
                                      : std::to_string(m_hits.size()) + (m_hits.size() == 1 ? " voice" : " voices") +
                                            " under " + m_searchFolder + " named with " + text + ".";
    if (m_hits.size() > kShownHits) {
        said += " The first " + std::to_string(kShownHits) + " are shown.";
    }
    if (!result.problems.empty()) {
        said += " " + std::to_string(result.problems.size()) + " could not be read, among them " +
                result.problems.front().path + " (" + result.problems.front().reason + ").";
    }
    SetStatus(said);
}

void CSonderikDlg::ShowHits()
{
    m_voices.SetRedraw(false);
    m_voices.ResetContent();
    const std::size_t shown = std::min(m_hits.size(), kShownHits);
    for (std::size_t i = 0; i < shown; ++i) {
        const browser::VoiceHit& hit = m_hits[i];
        // Each hit with its file, as the folder searched names it.
        const std::string file =
            hit.file.rfind(m_searchFolder, 0) == 0 ? hit.file.substr(m_searchFolder.size()) : hit.file;
        const int at = m_voices.AddString(hit.line + "\t" + file);
        m_voices.SetItemData(at, i);
    }
    m_voices.SetRedraw(true);
}

void CSonderikDlg::OnFileSelected()
{
    // A file chosen shows its own voices, whatever was searched.
    m_hitsShown = false;
    m_hits.clear();
    EnableAudition(false);
    EnableListOptions(true);
    const int selected = m_files.GetCurSel();
    if (selected < 0) {
        return;
    }
    const std::string name = m_files.GetText(selected);
    m_bankFile.clear();
    // The voices of the file read before are not this file's: none is left to send.
    m_voices.ResetContent();
    try {
        ReadVoiceBank(m_strPath, name, *bankImage);
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        m_fileStatus = status::FileFailed(m_strPath + name, e.get());
        SetStatus(m_fileStatus);
        return;
    }
    ClearStatus(m_fileStatus);
    m_bankFile = m_strPath + name;
    m_voices.SetRedraw(false);
    m_voices.ResetContent();
    FillVoices();
    m_voices.SetRedraw(true);
}

bool CSonderikDlg::RecreateListBox(CListBox& list)
{
    const DWORD style = list.GetStyle();
    CListBox fresh;
    if (!fresh.CreateInPlaceOf(list, style)) {
        return false;
    }
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i) {
        const int at = fresh.AddString(list.GetText(i));
        fresh.SetItemData(at, list.GetItemData(i));
    }
    if ((style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0) {
        for (int i = 0; i < count; ++i) {
            if (list.GetSel(i) > 0) {
                fresh.SetSel(fresh.FindStringExact(-1, list.GetText(i)), true);
            }
        }
    } else if (const int selected = list.GetCurSel(); selected >= 0) {
        fresh.SetCurSel(fresh.FindStringExact(-1, list.GetText(selected)));
    }
    const bool hadFocus = list.HasFocus();
    list.DestroyWindow();
    list.Attach(fresh);
    list.ShowWindow(SW_SHOW);
    if (hadFocus) {
        list.SetFocus();
    }
    return true;
}

void CSonderikDlg::OnCatOrder()
{
    if (m_catOrder.GetCheck() != BST_UNCHECKED) {
        m_voices.ModifyStyle(0, LBS_SORT);
        RecreateListBox(m_voices);
        m_voices.SetTabStops(m_tabStops);
    } else {
        m_voices.ModifyStyle(LBS_SORT, 0);
        RecreateListBox(m_voices);
        m_voices.ResetContent();
        m_voices.SetTabStops(m_tabStops);
        FillVoices();
    }
}

void CSonderikDlg::OnShowInits()
{
    showInits = m_showInitsBox.GetCheck() != BST_UNCHECKED ? 1 : 0;
    OnCatOrder();
    if (m_catOrder.GetCheck() != BST_UNCHECKED) {
        m_voices.ResetContent();
        FillVoices();
    }
}

std::unique_ptr<EX5Patch> CSonderikDlg::SelectedPatch(std::string& line)
{
    const int selected = m_voices.GetCurSel();
    if (selected < 0) {
        return nullptr;
    }
    line = m_voices.GetText(selected);
    if (m_hitsShown) {
        // A hit is sent from its own file, read now as a file chosen is.
        const auto index = static_cast<std::size_t>(m_voices.GetItemData(selected));
        if (index >= m_hits.size()) {
            return nullptr;
        }
        const browser::VoiceHit& hit = m_hits[index];
        try {
            ReadVoiceBankFile(hit.file, *bankImage);
        } catch (EXException* raised) {
            const std::unique_ptr<EXException> e(raised);
            SetStatus(status::FileFailed(hit.file, e.get()));
            return nullptr;
        }
        m_bankFile = hit.file;
        line = hit.line;
    }
    if (IsDrumLine(line)) {
        MessageBoxA("Sorry, no drums yet.", MB_OK | MB_ICONEXCLAMATION);
        return nullptr;
    }
    auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
    std::string why;
    if (!LoadVoice(*patch, line, *bankImage, why)) {
        RaiseEX(dialog_site::kAssemble, why.c_str());
    }
    return patch;
}

void CSonderikDlg::OnSendVoice()
{
    std::string line;
    std::unique_ptr<EX5Patch> patch = SelectedPatch(line);
    if (!patch || !PortsStillListed()) {
        return;
    }
    const JobSettings settings = HeldSettings();
    m_sendingLine = line;
    const bool quitWasEnabled = m_quit.IsWindowEnabled();
    const bool auditionWasEnabled = m_auditionEnabled;
    m_quit.EnableWindow(false);
    EnableAudition(false);
    const bool started = StartJob(&SendVoiceJob, [&] {
        m_params.PrepareSendVoice(patch.release(), m_doneIdent.Handle(), m_doneSend.Handle(), settings, m_szVersion);
        m_params.timeout = m_nTimeout;
        m_params.attempts = m_nRetries + 1;
        m_params.reportWindow = m_report->Handle();
    });
    if (!started) {
        // Nothing was handed over; the controls are as they were.
        m_quit.EnableWindow(quitWasEnabled);
        EnableAudition(auditionWasEnabled);
    }
}

void CSonderikDlg::ExportVoice()
{
    std::string line;
    const std::unique_ptr<EX5Patch> patch = SelectedPatch(line);
    if (!patch) {
        return;
    }
    const std::uint8_t* bytes = patch->Assemble();
    const std::size_t length = patch->GetMessageLength();
    const std::size_t tab = line.find('\t');
    const std::string suggested = (tab != std::string::npos ? line.substr(tab + 1, 6) : std::string("voice")) + ".syx";
    // The box opens in the bank's folder, where a musician keeps its sounds.
    const std::optional<std::string> bankFile = platform::ToLocalPath(m_bankFile);
    const std::string proposed =
        bankFile ? (std::filesystem::path(*bankFile).parent_path() / suggested).string() : suggested;
    std::string target;
    if (m_saveFile) {
        target = m_saveFile(this, suggested);
    } else {
        const std::vector<ui::FileFilter> types{{"SysEx files", "*.syx"}, {"All files", "*"}};
        target = ui::GetSaveFileNameA(this, "Export as SysEx file", types, proposed).value_or(std::string());
    }
    if (target.empty()) {
        return;
    }
    // Written over, the bank's own file would be lost with all its voices,
    // and so would a disk image or an archive holding it.
    if (SameFile(target, containers::HoldingFile(m_bankFile))) {
        SetStatus("Cannot write " + target + ": it is the voice file being read");
        return;
    }
    if (const std::string failure = WriteOutputFile(target, bytes, length); !failure.empty()) {
        SetStatus("Cannot write " + target + ": " + failure);
        return;
    }
    SetStatus("Exported " + ShownVoice(line) + " to " + target);
}

void CSonderikDlg::OnVoiceContextMenu(POINT screen)
{
    if (m_voices.GetCurSel() < 0) {
        return;
    }
    const UINT chosen = ui::TrackPopupMenu(
        {{ID_VOICE_SEND, "Send"}, {ID_VOICE_EXPORT, "Export as SysEx file..."}}, screen, this);
    if (chosen == ID_VOICE_SEND) {
        Guard([this] { OnSendVoice(); });
    } else if (chosen == ID_VOICE_EXPORT) {
        Guard([this] { ExportVoice(); });
    }
}

// --- about

void CSonderikDlg::ShowAbout()
{
    CAboutDlg about(this, IDI_SONDERIK);
    about.DoModal();
}

bool CSonderikDlg::OnContextMenu(POINT screen)
{
    if (ui::TrackPopupMenu({{IDM_ABOUTBOX, "&About Sonderik..."}}, screen, this) == IDM_ABOUTBOX) {
        ShowAbout();
    }
    return true;
}

bool CSonderikDlg::OnSysCommand(UINT command)
{
    if (command != IDM_ABOUTBOX) {
        return false;
    }
    ShowAbout();
    return true;
}

bool CSonderikDlg::OnHelpInfo()
{
    ShowAbout();
    return true;
}

// --- layout

void CSonderikDlg::OnSize(int width, int height)
{
    const SIZE smallest = TemplateSize();
    const int grownX = std::max(0, width - static_cast<int>(smallest.cx));
    const int grownY = std::max(0, height - static_cast<int>(smallest.cy));
    for (const auto& [id, control] : Controls()) {
        if (const auto from = m_laidOutFrom.find(id); from != m_laidOutFrom.end()) {
            control->MoveWindow(FromLayout(layout::Place(id, ToLayout(from->second), grownX, grownY)));
        }
    }
}

void CSonderikDlg::ApplyWindowPlace()
{
    const SIZE smallest = TemplateSize();
    const std::optional<layout::Rect> stored = layout::ParsePlace(m_windowPlace, smallest.cx, smallest.cy);
    if (!stored) {
        return;  // none, or not one: the dialog's size, centred
    }
    const std::optional<RECT> area = ui::MonitorWorkArea(POINT{stored->x, stored->y});
    const layout::Rect place =
        area ? layout::KeepOnScreen(*stored, ToLayout(*area), smallest.cx, smallest.cy) : *stored;
    SetWindowPos(ZOrder::NoTopMost, place.x, place.y, place.width, place.height, SWP_NOZORDER);
}

// --- a file or folder to open

void CSonderikDlg::OpenTarget(const std::string& path)
{
    const std::optional<std::string> windows =
        platform::IsWindowsPath(path) ? std::optional<std::string>(path) : platform::ToWindowsPath(path);
    const std::optional<std::string> local = windows ? platform::ToLocalPath(*windows) : std::nullopt;
    std::error_code ec;
    if (!windows || !local || !std::filesystem::exists(*local, ec)) {
        SetStatus("Cannot open " + path + ": " + (windows ? "it is not there." : "no drive letter names it."));
        return;
    }
    Target pending;
    if (std::filesystem::is_directory(*local, ec)) {
        pending.folder = windows->back() == '\\' ? *windows : *windows + '\\';
    } else {
        const std::size_t slash = windows->find_last_of('\\');
        pending.folder = windows->substr(0, slash + 1);
        pending.file = windows->substr(slash + 1);
    }
    m_openTarget = pending;
    // Before the tree is filled, it opens there when it is.
    if (m_bTreeFilled) {
        OpenPendingTarget();
    }
}

void CSonderikDlg::OpenPendingTarget()
{
    if (!m_openTarget) {
        return;
    }
    const Target target = *m_openTarget;
    m_openTarget.reset();
    if (!m_browser->OpenPath(target.folder) || m_strPath.empty() || !platform::EqualNoCase(m_strPath, target.folder)) {
        SetStatus("Cannot open " + target.folder + " in the folder tree.");
        return;
    }
    if (target.file.empty()) {
        return;
    }
    const int line = m_files.FindStringExact(-1, target.file);
    if (line < 0) {
        SetStatus(target.folder + target.file + " is not a voice file (*.s1v, *.s1y, *.s1a).");
        return;
    }
    m_files.SetCurSel(line);
    Guard([this] { OnFileSelected(); });
}

void CSonderikDlg::OnDropFiles(const std::vector<std::string>& paths)
{
    // One file or folder is opened; more at once are not guessed between.
    if (paths.size() == 1) {
        Guard([&] { OpenTarget(paths.front()); });
    } else if (!paths.empty()) {
        SetStatus("Drop one voice file or folder at a time.");
    }
}
