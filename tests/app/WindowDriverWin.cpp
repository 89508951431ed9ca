// An outside user of sonderik.exe on Windows: starts the program, finds its
// dialog and drives the real controls with the messages a user's mouse and
// keyboard make (posted to the control, through the program's own message
// loop), reading back only what any other program can read of a window.
// Each step waits for what it expects, bounded by --bound.
//
// Usage: window_driver SONDERIK.EXE FOLDER PICTURE-FLAG [--bound MS]
//   FOLDER: the folder of voice files to open through the tree, as the
//           program names it (C:\Voices), one level under a drive.
//   PICTURE-FLAG: once the voice is sent, "picture" is printed and the
//           driver waits for this file to appear before it ends the dialog.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <commctrl.h>

#include "app/DialogIds.h"
#include "app/Settings.h"

namespace {

using Ids = SonderikDlgIds;
using Clock = std::chrono::steady_clock;

// How often a wait looks again: the program's windows tell nothing to a
// process outside them, so the driver can only look.
constexpr auto kLookAgain = std::chrono::milliseconds(20);
constexpr std::size_t kTextSize = 1024;
constexpr int kLineX = 5;
// More folders than a fresh prefix's drive holds.
constexpr int kMostFolders = 100;

std::chrono::milliseconds bound{60000};

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "window_driver: %s\n", what.c_str());
    std::fflush(stderr);
    std::exit(1);
}

void Step(const std::string& what)
{
    std::printf("%s\n", what.c_str());
    std::fflush(stdout);
}

// Looks until `ready` holds, at most the bound; `what` names it in the
// failure, with what `seen` tells of the window then.
void Await(const std::string& what, const std::function<bool()>& ready,
           const std::function<std::string()>& seen = {})
{
    const auto until = Clock::now() + bound;
    while (!ready()) {
        if (Clock::now() > until) {
            Fail("gave up waiting: " + what + (seen ? " (" + seen() + ")" : ""));
        }
        std::this_thread::sleep_for(kLookAgain);
    }
}

std::string TextOf(HWND window)
{
    char text[kTextSize] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        static_cast<UINT>(bound.count()), &length);
    return std::string(text);
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, static_cast<UINT>(bound.count()),
                            &answer) == 0) {
        Fail("the program did not answer message " + std::to_string(message));
    }
    return static_cast<LRESULT>(answer);
}

std::string LineOf(HWND list, int index)
{
    const LRESULT length = Ask(list, LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length < 0 || static_cast<std::size_t>(length) >= kTextSize) {
        return {};
    }
    // Between programs wine may hand the line over in UTF-16, whatever the
    // list was made with: a line that stops after its first letter is read so.
    wchar_t wide[kTextSize] = {};
    Ask(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide));
    const char* narrow = reinterpret_cast<const char*>(wide);
    if (std::strlen(narrow) >= static_cast<std::size_t>(length)) {
        return std::string(narrow);
    }
    std::string text;
    for (const wchar_t* at = wide; *at != 0; ++at) {
        text += *at < 0x80 ? static_cast<char>(*at) : '?';
    }
    return text;
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

void Type(HWND window, const std::string& text)
{
    for (const char c : text) {
        PostMessageA(window, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
    }
}

void Key(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// The line's middle, in the list's client coordinates, the list scrolled to its top.
LPARAM LineMiddle(HWND list, int index)
{
    const auto height = static_cast<int>(Ask(list, LB_GETITEMHEIGHT, 0));
    return At(kLineX, height * index + height / 2);
}

void Click(HWND list, int index)
{
    const LPARAM at = LineMiddle(list, index);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
}

void DoubleClick(HWND list, int index)
{
    const LPARAM at = LineMiddle(list, index);
    Click(list, index);
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[kTextSize] = {};
    GetWindowTextA(window, title, sizeof(title));
    if (process == search.process && std::strcmp(title, "Sonderik") == 0 && IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND Control(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        Fail("the dialog has no control " + std::to_string(id));
    }
    return control;
}

std::string SavedPath()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return {};
    }
    char value[kTextSize] = {};
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        Fail("usage: window_driver SONDERIK.EXE FOLDER PICTURE-FLAG [--bound MS]");
    }
    const std::string program = argv[1];
    const std::string folder = argv[2];
    const std::string pictureFlag = argv[3];
    if (argc >= 6 && std::strcmp(argv[4], "--bound") == 0) {
        bound = std::chrono::milliseconds(std::atol(argv[5]));
    }
    const std::size_t slash = folder.find('\\');
    if (slash == std::string::npos || slash + 1 >= folder.size()) {
        Fail("FOLDER must be a drive's folder, such as C:\\Voices");
    }
    const std::string drive = folder.substr(0, slash);
    const std::string name = folder.substr(slash + 1);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    std::string command = "\"" + program + "\"";
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        Fail("cannot start " + program);
    }
    CloseHandle(started.hThread);

    Search search{started.dwProcessId, nullptr};
    Await("the dialog shown", [&] {
        search.found = nullptr;
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    const HWND dialog = search.found;
    Step("shown: the dialog \"Sonderik\"");

    const HWND instrument = Control(dialog, Ids::IDC_INSTRUMENT);
    const HWND status = Control(dialog, Ids::IDC_STATUS);
    const auto statusLine = [&] { return "the status line says \"" + TextOf(status) + "\""; };
    Await("the instrument field saying EX5", [&] { return TextOf(instrument) == "EX5"; }, statusLine);
    Step("identified: the instrument field says " + TextOf(instrument));

    // Through the tree as a user does with the keyboard: a drive's first
    // letter selects it, the right arrow opens it.
    const HWND tree = Control(dialog, Ids::IDC_TREE);
    const HWND path = Control(dialog, Ids::IDC_PATH);
    Await("the tree filled", [&] { return Ask(tree, TVM_GETCOUNT) > 0; });
    Type(tree, drive.substr(0, 1));
    Await("the drive " + drive + " selected", [&] { return TextOf(path).rfind(drive, 0) == 0; });
    Key(tree, VK_RIGHT);
    // Down through the drive's folders, as a user who looks at each: every
    // step selects the next one, which the path line then names.
    const std::string wanted = folder + "\\";
    for (int step = 0; TextOf(path) != folder && TextOf(path) != wanted; ++step) {
        if (step == kMostFolders || TextOf(path).rfind(drive, 0) != 0) {
            Fail("no folder " + name + " under " + drive + " in the tree (the path line says \"" + TextOf(path) +
                 "\")");
        }
        const std::string before = TextOf(path);
        Key(tree, VK_DOWN);
        Await("the next folder selected", [&] { return TextOf(path) != before; },
              [&] { return "the path line says \"" + TextOf(path) + "\""; });
    }
    Step("opened: " + TextOf(path));

    const HWND files = Control(dialog, Ids::IDC_FILES);
    Await("the folder's voice files listed", [&] { return Ask(files, LB_GETCOUNT) > 0; });
    Click(files, 0);
    const HWND voices = Control(dialog, Ids::IDC_VOICES);
    Await("the file's voices listed", [&] { return Ask(voices, LB_GETCOUNT) > 0; });
    Step("listed: " + std::to_string(Ask(voices, LB_GETCOUNT)) + " voices of " + LineOf(files, 0));

    // The second line: the first is the voice a bank starts with, often an
    // initial one that a user would not pick.
    const int line = Ask(voices, LB_GETCOUNT) > 1 ? 1 : 0;
    const std::string voice = LineOf(voices, line);
    DoubleClick(voices, line);
    Await("the voice sent", [&] { return TextOf(status).rfind("Sent ", 0) == 0; }, statusLine);
    Step("sent: " + TextOf(status));

    Step("picture");
    Await("the picture taken", [&] { return GetFileAttributesA(pictureFlag.c_str()) != INVALID_FILE_ATTRIBUTES; });

    Key(voices, VK_ESCAPE);
    if (WaitForSingleObject(started.hProcess, static_cast<DWORD>(bound.count())) != WAIT_OBJECT_0) {
        TerminateProcess(started.hProcess, 1);
        Fail("the program did not end on Escape");
    }
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    CloseHandle(started.hProcess);
    if (code != 0) {
        Fail("the program ended with " + std::to_string(code));
    }
    Step("closed on Escape");

    const std::string saved = SavedPath();
    if (saved != folder && saved != folder + "\\") {
        Fail("the settings keep Path \"" + saved + "\", not " + folder);
    }
    Step("saved: Path is " + saved + " in HKEY_CURRENT_USER\\" + kSettingsKeyPath);
    return 0;
}
