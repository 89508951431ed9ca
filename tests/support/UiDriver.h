#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListBox.h"

// Drives the window's controls as a user's mouse and keyboard do, over
// whichever window system the build has (tests/support/UiDriverQt.cpp,
// UiDriverWin.cpp), so that one test runs against both. Each action is
// handled by the window system before it returns, as a user's would be by
// the time the next one comes; what the program posts to itself on the way
// waits for Pump, as it waits for the event loop.
namespace uitest {

enum class Key { Enter, Escape, Up, Down, Tab, BackTab, Space, F1 };

// Handles what is queued for the program's windows now.
void Pump();
// Handles the queue until `done` holds, waking for each event and at least
// every few milliseconds; false when `bound` passed first.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = std::chrono::seconds(10));

// A left click in the middle of the window. A disabled window gets nothing,
// as it gets no input.
void Click(const CWnd& window);
// The left button pressed there and held, and its release.
void Press(const CWnd& window);
void Release(const CWnd& window);
// A click, or a double-click, on a line of the list, scrolled into view first.
void ClickLine(const CListBox& list, int line);
void DoubleClickLine(const CListBox& list, int line);
// One click on an arrow of the up-down control: +1 the upper, -1 the lower.
void ClickArrow(const CSpinButtonCtrl& spin, int direction);
// Opens the drop-down list and closes it again without choosing.
void CloseUp(const CComboBox& box);

// A key pressed and released with the focus on `target` (given it first).
void PressKey(const CWnd& target, Key key);
// A key pressed in the dialog, wherever its focus is.
void PressKey(const CDialog& dialog, Key key);
// Characters typed into `target`, which gets the focus first.
void TypeText(const CWnd& target, const std::string& text);

// The close box of the title bar.
void CloseBox(const CDialog& dialog);
// Makes the dialog the active window, with the keyboard; false if the
// window system would not.
bool Activate(const CDialog& dialog);
// Whether the window system keeps the dialog above the other windows.
bool IsTopMost(const CDialog& dialog);
// The window system's own window behind the dialog: another value means
// that the dialog's window was made anew.
std::uintptr_t NativeWindow(const CDialog& dialog);
}  // namespace uitest
