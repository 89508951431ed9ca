// The dialog framework over Windows's own controls: the modal loop and its
// ending, posted messages and calls in their order and on the dialog's
// thread, the press-and-hold button's reports, the up-down's report before
// it moves, names kept as bytes, the keys the dialog takes, and the done
// field's bounded hand-over from a job's thread. Driven with the system's
// own messages, under a real display.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gmock/gmock-matchers.h>
#include <gtest/gtest.h>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/DoneField.h"
#include "platform/ui/WinAccess.h"
#include "tests/support/Within.h"

using namespace std::chrono_literals;
using testing::ElementsAre;

namespace {

// How long anything the system does at once may take under a slow wine.
constexpr auto kBound = 10s;

constexpr UINT kRecord = WM_APP + 10;
constexpr UINT kThrow = WM_APP + 11;
constexpr UINT kEnd = WM_APP + 12;

// Handles what is queued for this thread's windows, as the modal loop does.
void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!ui::win::PreTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = kBound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    constexpr DWORD kWake = 10;
    for (;;) {
        Pump();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, kWake, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

LPARAM At(int x, int y) { return static_cast<LPARAM>(PackPosition(x, y)); }

class TestDialog : public CDialog {
public:
    explicit TestDialog(CDialog* parent = nullptr) : CDialog(parent)
    {
        SetWindowText("Test");
        ModifyStyle(0, WS_CAPTION | WS_SYSMENU);
        SetTemplate(ui::kShellFont, 200, 120);
    }

    using CDialog::OnMessage;

    std::function<bool(UINT, WPARAM, LPARAM)> onMessage;
    int inits = 0;
    int lastWords = 0;
    int oks = 0;
    int cancels = 0;
    int helps = 0;
    SIZE lastSize{};

protected:
    bool OnInitDialog() override
    {
        ++inits;
        return true;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return onMessage ? onMessage(message, wParam, lParam) : false;
    }
    void OnOK() override { ++oks; }
    void OnCancel() override { ++cancels; }
    void DestroyWindow() override { ++lastWords; }
    bool OnHelpInfo() override
    {
        ++helps;
        return true;
    }
    void OnSize(int width, int height) override { lastSize = SIZE{width, height}; }
};

TEST(DialogWin, ModalLoopRunsPostsInOrderOnItsThreadAndEndsWithTheResult)
{
    TestDialog owner;
    TestDialog dialog(&owner);
    HWND ownerWindow = ui::win::HwndOf(owner);
    const auto dialogThread = std::this_thread::get_id();
    std::vector<std::string> seen;
    dialog.onMessage = [&](UINT message, WPARAM wParam, LPARAM) {
        switch (message) {
        case kRecord:
            seen.push_back("message " + std::to_string(wParam) +
                           (IsWindowEnabled(ownerWindow) != FALSE ? " owner enabled" : " owner disabled"));
            return true;
        case kThrow:
            throw std::runtime_error("handler fault 17");
        case kEnd:
            dialog.EndDialog(42);
            dialog.EndDialog(7);  // the first end counts
            return true;
        default:
            return false;
        }
    };
    dialog.PostMessage(kRecord, 1, 0);
    std::thread([&] {
        dialog.PostCall([&] {
            seen.push_back(std::this_thread::get_id() == dialogThread ? "call on the dialog's thread" : "call elsewhere");
        });
    }).join();
    dialog.PostMessage(kThrow, 0, 0);
    dialog.PostMessage(kRecord, 2, 0);
    dialog.PostMessage(kEnd, 0, 0);
    HWND window = ui::win::HwndOf(dialog);

    testing::internal::CaptureStderr();
    const int result = dialog.DoModal();
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_EQ(result, 42);
    EXPECT_EQ(dialog.Result(), 42);
    EXPECT_THAT(seen, ElementsAre("message 1 owner disabled", "call on the dialog's thread", "message 2 owner disabled"));
    EXPECT_NE(errors.find("handler fault 17"), std::string::npos) << errors;
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_EQ(dialog.lastWords, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindowEnabled(ownerWindow));
}

TEST(DialogWin, CallsStillQueuedWhenTheWindowGoesAreDroppedNotRun)
{
    TestDialog dialog;
    auto token = std::make_shared<int>(0);
    bool ran = false;
    dialog.PostCall([token, &ran] { ran = true; });
    ASSERT_EQ(token.use_count(), 2);

    dialog.EndDialog(IDCANCEL);  // not modal: the window goes at once
    EXPECT_EQ(token.use_count(), 1);
    dialog.PostCall([token, &ran] { ran = true; });
    EXPECT_EQ(token.use_count(), 1);
    Pump();
    EXPECT_FALSE(ran);
    EXPECT_EQ(dialog.lastWords, 1);
}

TEST(DialogWin, TemplateSizeIsTheClientAreaAndTheSmallestTrackSize)
{
    TestDialog dialog;
    HWND window = ui::win::HwndOf(dialog);
    const SIZE size = dialog.TemplateSize();
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, size.cx);
    EXPECT_EQ(client.bottom, size.cy);

    MINMAXINFO limits{};
    SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(limits.ptMinTrackSize.x, frame.right - frame.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, frame.bottom - frame.top);

    // A window that owns others (its tips, a drop-down's list) is lifted all the same.
    CComboBox box;
    box.Create(WS_TABSTOP | WS_VSCROLL, dialog.DialogRect(10, 10, 80, 60), &dialog, 1004);
    box.SetToolTipText("MIDI In");
    // Placed by its frame's corner, sized by its client area, as GetWindowRect gives it back.
    ASSERT_TRUE(dialog.SetWindowPos(ZOrder::TopMost, 30, 40, size.cx + 50, size.cy + 20, 0));
    const RECT place = dialog.GetWindowRect();
    EXPECT_EQ(place.left, 30);
    EXPECT_EQ(place.top, 40);
    EXPECT_EQ(place.right - place.left, size.cx + 50);
    EXPECT_EQ(place.bottom - place.top, size.cy + 20);
    EXPECT_EQ(dialog.lastSize.cx, size.cx + 50);
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    dialog.SetWindowPos(ZOrder::NoTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST(PushButtonWin, ReportsPressesAndReleasesWithIdAndPositionButNotADoubleClicksPress)
{
    TestDialog dialog;
    CPushButton button;
    button.Create("Note...", BS_PUSHBUTTON | WS_TABSTOP, dialog.DialogRect(10, 10, 44, 14), &dialog, 7);
    int clicks = 0;
    button.onClicked = [&] { ++clicks; };
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> posted;
    dialog.onMessage = [&](UINT message, WPARAM wParam, LPARAM lParam) {
        posted.emplace_back(message, wParam, lParam);
        return true;
    };
    HWND window = ui::win::HwndOf(button);

    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 6));
    SendMessageA(window, WM_LBUTTONUP, 0, At(7, 8));
    SendMessageA(window, WM_LBUTTONDBLCLK, MK_LBUTTON, At(1, 2));
    SendMessageA(window, WM_LBUTTONUP, 0, At(3, 4));
    // Pressed, then released off the button: still reported, but no click.
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, At(2, 2));
    SendMessageA(window, WM_LBUTTONUP, 0, At(-3, 4));
    // The keyboard presses it without a report.
    SendMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(window, WM_KEYUP, VK_SPACE, 0);
    Pump();

    const auto cut = static_cast<LPARAM>(0xFFFDu | (4u << 16));
    EXPECT_THAT(posted, ElementsAre(std::tuple{kButtonPressMessage, WPARAM{7}, At(5, 6)},
                                    std::tuple{kButtonReleaseMessage, WPARAM{7}, At(7, 8)},
                                    std::tuple{kButtonReleaseMessage, WPARAM{7}, At(3, 4)},
                                    std::tuple{kButtonPressMessage, WPARAM{7}, At(2, 2)},
                                    std::tuple{kButtonReleaseMessage, WPARAM{7}, cut}));
    EXPECT_EQ(clicks, 3);
}

TEST(SpinWin, ReportsEachStepBeforeMovingAndKeepsToItsRange)
{
    TestDialog dialog;
    CEdit field;
    const RECT place = dialog.DialogRect(68, 52, 26, 12);
    field.Create(ES_NUMBER | ES_RIGHT | WS_TABSTOP, place, &dialog, 1006);
    CSpinButtonCtrl spin;
    spin.Create(UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS, dialog.DialogRect(88, 52, 10, 12),
                &dialog, 1007, field);
    // Placed at the field's right edge, over its border; the field gives up that room.
    const RECT arrows = spin.GetWindowRect();
    EXPECT_LE(arrows.right, place.right);
    EXPECT_GT(arrows.left, place.left);
    EXPECT_LT(field.GetWindowRect().right, place.right);

    spin.SetRange32(1, 16);
    int lower = 0;
    int upper = 0;
    spin.GetRange32(lower, upper);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 16);
    spin.SetPos32(40);
    EXPECT_EQ(spin.GetPos32(), 16);
    EXPECT_EQ(field.GetWindowText(), "16");

    std::vector<std::pair<int, int>> reported;
    bool allow = false;
    spin.onDeltaPos = [&](int pos, int delta) {
        reported.emplace_back(pos, delta);
        return allow;
    };
    spin.Step(-1);
    EXPECT_EQ(spin.GetPos32(), 16) << "a refused step moves nothing";
    allow = true;
    spin.Step(-1);
    EXPECT_EQ(field.GetWindowText(), "15");
    SendMessageA(ui::win::HwndOf(field), WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(ui::win::HwndOf(field), WM_KEYUP, VK_DOWN, 0);
    EXPECT_EQ(field.GetWindowText(), "14");
    spin.SetPos32(16);
    spin.Step(1);  // reported at the end of the range, not carried out
    EXPECT_EQ(spin.GetPos32(), 16);
    EXPECT_THAT(reported, ElementsAre(std::pair{16, -1}, std::pair{16, -1}, std::pair{15, -1}, std::pair{16, 1}));
}

TEST(ComboWin, KeepsNamesAsBytesAndSelectsOnlyWhenAsked)
{
    TestDialog dialog;
    CComboBox box;
    box.Create(WS_TABSTOP | WS_VSCROLL, dialog.DialogRect(68, 16, 178, 100), &dialog, 1004);
    int dropped = 0;
    int closed = 0;
    box.onDropDown = [&] { ++dropped; };
    box.onCloseUp = [&] { ++closed; };

    EXPECT_EQ(box.AddString("Port \xE4"), 0);
    EXPECT_EQ(box.InsertString(0, "z\x81\x8D"), 0);
    EXPECT_EQ(box.InsertString(99, "last"), 2);
    EXPECT_EQ(box.GetCount(), 3);
    EXPECT_EQ(box.GetCurSel(), -1);
    EXPECT_EQ(box.GetLBText(0), "z\x81\x8D");
    EXPECT_EQ(box.GetLBText(1), "Port \xE4");
    EXPECT_EQ(box.SetCurSel(1), 1);
    EXPECT_EQ(box.GetCurSel(), 1);
    EXPECT_EQ(box.SetCurSel(3), -1);
    EXPECT_EQ(box.GetCurSel(), -1);
    EXPECT_EQ(box.SetCurSel(-1), -1);

    box.ShowDropDown(true);
    box.ShowDropDown(false);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(closed, 1);

    CEdit edit;
    edit.Create(ES_AUTOHSCROLL, dialog.DialogRect(10, 40, 60, 12), &dialog, 1009);
    edit.SetWindowText("EX5 \x81\x90\xFF");
    EXPECT_EQ(edit.GetWindowText(), "EX5 \x81\x90\xFF");
}

TEST(DialogWin, TakesEnterEscapeAndF1AsTheDialogsOwnKeys)
{
    TestDialog dialog;
    CPushButton button;
    button.Create("ID", BS_PUSHBUTTON | WS_TABSTOP, dialog.DialogRect(10, 10, 30, 14), &dialog, 6);
    int clicks = 0;
    button.onClicked = [&] { ++clicks; };
    CEdit edit;
    edit.Create(WS_TABSTOP, dialog.DialogRect(10, 30, 60, 12), &dialog, 1009);
    int posted = 0;
    dialog.onMessage = [&](UINT, WPARAM, LPARAM) { return ++posted > 0; };
    const auto key = [](const CWnd& target, WPARAM code) {
        MSG msg{ui::win::HwndOf(target), WM_KEYDOWN, code, 0, 0, {}};
        return ui::win::PreTranslateMessage(msg);
    };

    EXPECT_TRUE(key(button, VK_RETURN));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dialog.oks, 0);
    EXPECT_TRUE(key(edit, VK_RETURN));
    EXPECT_EQ(dialog.oks, 1);
    EXPECT_TRUE(key(button, VK_ESCAPE));
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_TRUE(key(edit, VK_F1));
    EXPECT_EQ(dialog.helps, 1);
    SendMessageA(ui::win::HwndOf(dialog), WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog.cancels, 2);
    Pump();
    EXPECT_EQ(posted, 0) << "Enter presses the button without its mouse reports";
}

// --- the done field

struct DoneBench {
    explicit DoneBench(std::chrono::milliseconds bound = kHandOverBound) : field(bound)
    {
        field.Create(dialog.DialogRect(410, 12, 30, 12), &dialog, 1018);
        field.onUpdate = [this] {
            ++updates;
            onDialogThread = onDialogThread && std::this_thread::get_id() == dialogThread;
        };
    }

    void Send(const char* text) const { SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text)); }

    TestDialog dialog;
    CDoneEdit field;
    const std::thread::id dialogThread = std::this_thread::get_id();
    std::atomic<int> updates = 0;
    bool onDialogThread = true;
};

TEST(DoneFieldWin, AJobsTextReachesTheHandlerOnTheDialogsThreadBeforeTheSenderReturns)
{
    DoneBench bench;
    std::atomic<int> seenBySender = -1;
    std::thread job([&] {
        bench.Send("Done");
        seenBySender = bench.updates.load();
    });
    EXPECT_TRUE(PumpUntil([&] { return seenBySender.load() >= 0; }));
    job.join();
    EXPECT_EQ(seenBySender.load(), 1);
    EXPECT_TRUE(bench.onDialogThread);
    EXPECT_EQ(bench.field.Text(), "Done");
    EXPECT_FALSE(bench.field.IsWindowVisible());

    // From the field's own thread a send is taken at once, without a pump.
    bench.Send("Done");
    EXPECT_EQ(bench.updates.load(), 2);
    for (int i = 0; i < 100; ++i) {
        bench.field.ReplaceSelection("Done");
    }
    EXPECT_EQ(bench.updates.load(), 102);
    EXPECT_EQ(bench.field.Text().size(), CDoneEdit::kKeep);
    EXPECT_EQ(bench.field.Text().substr(CDoneEdit::kKeep - 4), "Done");
    EXPECT_LE(GetWindowTextLengthA(ui::win::HwndOf(bench.field)), static_cast<int>(CDoneEdit::kKeep));
}

TEST(DoneFieldWin, CloseReleasesAWaitingSenderAndLaterOnesReturnAtOnce)
{
    DoneBench bench;
    std::atomic<bool> returned = false;
    std::thread job([&] {
        bench.Send("Done");
        returned = true;
    });
    // This thread does not pump: the sender waits for it.
    ASSERT_TRUE(Within(kBound, [&] { return bench.field.WaitingSenders() == 1; }));
    EXPECT_FALSE(returned.load());
    bench.field.Close();
    job.join();
    std::thread([&] { bench.Send("Done"); }).join();
    Pump();
    EXPECT_EQ(bench.updates.load(), 0);
    EXPECT_EQ(bench.field.Text(), "");
}

TEST(DoneFieldWin, ASenderTheFieldNeverTakesReturnsAfterTheBoundAndItsTextIsTakenBack)
{
    DoneBench bench(50ms);
    std::thread([&] { bench.Send("Done"); }).join();
    Pump();
    EXPECT_EQ(bench.updates.load(), 0);
    EXPECT_EQ(bench.field.Text(), "");
}

}  // namespace
