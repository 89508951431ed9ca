#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "app/DialogIds.h"
#include "app/Settings.h"
#include "app/StatusTexts.h"
#include "browser/FolderBrowser.h"
#include "browser/VoiceSearch.h"
#include "instrument/Audition.h"
#include "instrument/Jobs.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/DoneField.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/TreeCtrl.h"
#include "voice/EXParams.h"
#include "voice/VoiceFile.h"

// The four audition buttons post a press and a release to the dialog.
using AuditionButton = CPushButton;

// The main dialog (resource 102): MIDI parameters, the file browser, the
// voice list, the settings boxes and the audition buttons. It owns the one
// EXParams and starts every job with its address.
class CSonderikDlg : public CDialog, public SonderikDlgIds, private SettingsView {
public:
    static constexpr std::size_t kVersionSize = 260;


    // Message boxes go through this, so that a test can answer them.
    using MessageBoxFn = std::function<int(CDialog* owner, const std::string& text, UINT type)>;
    // The standard save dialog, for "Export as SysEx file...": a path, or empty.
    using SaveFileFn = std::function<std::string(CDialog* owner, const std::string& suggested)>;

    explicit CSonderikDlg(CDialog* parent = nullptr);
    ~CSonderikDlg() override;

    CWnd* GetDlgItem(int id) const;
    // Opens the folder tree at a file (and reads it) or a folder, given as
    // a path of this system or a Windows path; before the tree is filled,
    // once it is.
    void OpenTarget(const std::string& path);
    // WM_DROPFILES: files or folders dropped on the window.
    void OnDropFiles(const std::vector<std::string>& paths) override;
    const std::string& CurrentPath() const { return m_strPath; }
    std::string Version() const { return m_szVersion; }
    bool TreeFilled() const { return m_bTreeFilled; }
    bool ShowInits() const override { return showInits != 0; }
    std::uint32_t DeviceNo() const override { return m_nDeviceNo; }
    std::uint32_t SysexDelay() const override { return m_nSysexDelay; }
    std::uint32_t MidiDelay() const override { return m_nMidiDelay; }
    const EXParams& Params() const { return m_params; }
    const BankImage& Bank() const { return *bankImage; }
    FolderBrowser& Browser() { return *m_browser; }
    CTreeCtrl& Tree() { return m_tree; }
    CListBox& FileList() { return m_files; }
    CEdit& SearchField() { return m_search; }
    CListBox& VoiceList() { return m_voices; }
    std::string StatusText() const;
    // True while a job's "Done" has not come back.
    bool JobRunning() const { return m_awaitingDone; }
    // True from the start of a job until its thread has ended.
    bool JobBusy() const { return m_awaitingDone || m_jobs.Busy(); }

    void SetMessageBox(MessageBoxFn box) { m_messageBox = std::move(box); }
    void SetSaveFile(SaveFileFn pick) { m_saveFile = std::move(pick); }
    // How long an end or a new job waits for the last job's thread after its "Done".
    void SetJoinBound(std::chrono::milliseconds bound) { m_joinBound = bound; }
    // Tests wait less for an instrument that does not answer.
    void SetReplyTimeout(std::uint32_t milliseconds) { m_nTimeout = milliseconds; }
    // Where every job writes its log from now on (empty: the current folder).
    void SetLogFolder(std::string folder) { m_logFolder = std::move(folder); }

    // The commands and handlers, as the controls' notifications call them.
    void IdentifyInstrument();
    void OnFileSelected();
    void OnCatOrder();
    void OnShowInits();
    void OnSendVoice();
    void ExportVoice();
    // The patch of the selected voice, with its list line; null when no
    // voice is selected or it is a drum voice (which is said).
    std::unique_ptr<EX5Patch> SelectedPatch(std::string& line);
    bool RecreateListBox(CListBox& list);
    void EnableAudition(bool enable);
    // The audition buttons' press (0x8003) and release (0x8004), and the
    // actions they run on the dialog's thread.
    int OnAuditionPress(int controlId, std::uint32_t position);
    int StopAudition(int controlId, std::uint32_t position);
    void PlayNote() { m_audition.PlayNote(); }
    void PlayMajorChord() { m_audition.PlayMajorChord(); }
    void PlayMinorChord() { m_audition.PlayMinorChord(); }
    void PlayTrill() { m_audition.PlayTrill(); }
    // Tests shorten the pause between the notes of the run.
    void SetRunPause(std::chrono::milliseconds pause) { m_audition.SetRunPause(pause); }
    void EnableListOptions(bool enable);
    void UpdateKeepOnTop();
    void ShowAbout();
    // Reads the three number fields back; false (after saying so) at the first that holds no number.
    bool UpdateData(bool save);
    // Shows a text in the status line at the foot of the dialog.
    void SetStatus(const std::string& text);

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DestroyWindow() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnContextMenu(POINT screen) override;
    bool OnSysCommand(UINT command) override;
    bool OnHelpInfo() override;
    void OnSize(int width, int height) override;

private:
    // SettingsView: what the settings feed at start and are taken from at close.
    std::string CurrentFolder() const override { return m_strPath; }
    void SetCurrentFolder(const std::string& path) override { m_strPath = path; }
    void SelectMidiIn(const StoredPort& port) override;
    StoredPort SelectedMidiIn() const override;
    void SelectMidiOut(const StoredPort& port) override;
    StoredPort SelectedMidiOut() const override;
    void SetSysexDelay(std::uint32_t milliseconds) override { m_nSysexDelay = milliseconds; }
    void SetMidiDelay(std::uint32_t milliseconds) override { m_nMidiDelay = milliseconds; }
    void SetDeviceNo(std::uint32_t number) override { m_nDeviceNo = number; }
    void SetKeepOnTop(bool onTop) override;
    bool KeepOnTop() const override;
    void SetListOrder(bool catOrder, bool showInits) override;
    bool CatOrder() const override;
    void SetWindowPlace(const std::string& place) override { m_windowPlace = place; }
    std::string WindowPlace() const override;

    void CreateControls();
    // Every control by its id, in creation order.
    std::vector<std::pair<int, CWnd*>> Controls() const;
    // The place and size loaded with the settings, kept on a screen.
    void ApplyWindowPlace();
    void OpenPendingTarget();
    void ShowAuditionState();
    void ReadVersion();
    void FillPortLists();
    void OnIdentifyDone();
    void OnSendDone();
    void OnPortCloseUp();
    void OnPortDropDown();
    // Fills the port lists anew from the current listing and selects the
    // chosen ports again by name; false (said) when a chosen one went.
    bool RefreshPortLists();
    // True when the selected lines still name the ports of the layer's
    // listing; else refreshes the lists, false when a chosen port went.
    bool PortsStillListed();
    bool OnDeltaPos(CSpinButtonCtrl& spin, std::uint32_t& held, int pos, int delta);
    void OnVoiceContextMenu(POINT screen);
    void FillVoices();
    // The search field: a search of the selected folder runs off the
    // dialog's thread and shows its hits in the voice list, each with its
    // file; an empty field shows the selected file's voices again.
    void StartSearch();
    void ShowSearchResult(unsigned generation, browser::SearchResult result);
    void ShowHits();
    // Asks every search to stop; joins those that have ended, or all of them
    // (when the dialog goes).
    void StopSearches(bool wait);
    JobSettings HeldSettings() const;
    // Starts a job unless one still runs; waits (bounded) for a thread whose "Done" came.
    bool StartJob(JobRunner::Job job, const std::function<void()>& fill);
    void EndAfterJob();
    void TryEnd(int result);
    // Values out of the ranges a job may be given, as loaded, brought into them.
    void KeepLoadedInRange(std::vector<std::string>& notices);
    // The ports as the job now starting is given them, for its report.
    status::JobPorts JobPortNames() const;
    // Clears the status line when it still says `text`.
    void ClearStatus(const std::string& text);
    // Says why a job failed, when it did; true when it did.
    bool ShowFailure(const std::string& text);
    int MessageBoxA(const std::string& text, UINT type);
    // Runs a handler; what it raises is shown in the status line.
    template <typename Body>
    void Guard(Body&& body);

    std::string m_strPath;
    std::uint8_t showInits = 0;
    char m_szVersion[kVersionSize] = {};
    EXParams m_params;

    CButton m_showInitsBox;
    AuditionButton m_note;
    CSpinButtonCtrl m_midiDelaySpin;
    CSpinButtonCtrl m_sysexDelaySpin;
    CButton m_onTop;
    CDoneEdit m_doneSend;
    CButton m_quit;
    CButton m_id;
    AuditionButton m_trill;
    AuditionButton m_minor;
    AuditionButton m_major;
    CButton m_catOrder;
    CListBox m_voices;
    CEdit m_search;
    CListBox m_files;
    CEdit m_instrument;
    CDoneEdit m_doneIdent;
    CSpinButtonCtrl m_deviceSpin;
    CComboBox m_midiOut;
    CComboBox m_midiIn;

    std::uint32_t m_nDeviceNo = 0;
    std::uint32_t m_nRetries = EXParams::kRetries;
    std::uint32_t m_nTimeout = EXParams::kTimeout;
    CTreeCtrl m_tree;
    std::uint32_t m_nSysexDelay = 0;
    std::uint32_t m_nMidiDelay = 0;
    std::vector<int> m_tabStops;
    bool m_bTreeFilled = false;
    std::unique_ptr<BankImage> bankImage;
    std::string m_bankFile;  // the Windows path bankImage was read from
    std::string m_strOpenPath;
    std::string m_windowPlace;  // as loaded, until the window has a place of its own
    // Each control's rectangle at the dialog's own size, which the layout grows from.
    std::map<int, RECT> m_laidOutFrom;
    struct Target {
        std::string folder;  // a Windows path ending in '\\'
        std::string file;    // a name in it, or empty
    };
    std::optional<Target> m_openTarget;

    // The rest of the window.
    CButton m_groups[4];
    CStatic m_labels[7];
    CEdit m_deviceNo;
    CEdit m_sysexDelay;
    CEdit m_midiDelay;
    CStatic m_path;
    CStatic m_status;
    std::unique_ptr<ForwardingText> m_report;
    // Which request an identification is waiting on, in the status line.
    std::unique_ptr<PostedReport> m_progress;
    std::string m_waitingLine;
    std::unique_ptr<FolderBrowser> m_browser;
    std::string m_logFolder;  // handed to each job in m_params

    MessageBoxFn m_messageBox;
    SaveFileFn m_saveFile;
    std::chrono::milliseconds m_joinBound{5000};
    // The searches started and not yet joined (one runs; those asked to
    // stop end at their next file), and what the voice list shows of the
    // last one.
    struct SearchRun {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> cancel;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::vector<SearchRun> m_searches;
    unsigned m_searchGeneration = 0;
    std::string m_searchFolder;
    std::string m_searchText;
    std::vector<browser::VoiceHit> m_hits;
    bool m_hitsShown = false;
    // More hits than a list can usefully show are counted, not listed.
    static constexpr std::size_t kShownHits = 5000;
    // Also read where a job's report is taken, on the job's side.
    std::atomic<bool> m_awaitingDone = false;
    // What the status line said last about a file, a job or a refusal, so
    // that it goes once it is no longer true.
    std::string m_fileStatus;
    std::string m_startNotice;
    std::string m_busyStatus;
    // The voice being sent and the ports of the running job, for its report.
    std::string m_sendingLine;
    status::JobPorts m_jobPorts;
    // Stored ports the lists did not have at start-up, until one is chosen.
    std::string m_missingIn;
    std::string m_missingOut;
    // An audition button's press was played and its release is still to come.
    bool m_auditionHeld = false;
    bool m_closeUpPending = false;
    bool m_endPending = false;
    int m_endResult = 0;

    Audition m_audition{m_params};
    // The audition buttons' state by the enabling table; they are shown
    // disabled besides while an identification runs, which may hold the
    // instrument's ports.
    bool m_auditionEnabled = true;
    bool m_identifying = false;

    // Last: destroyed first, after the done fields were closed (see the destructor).
    JobRunner m_jobs;
};
