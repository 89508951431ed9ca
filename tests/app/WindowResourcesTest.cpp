#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "ResourceIds.h"

// The window's resources as the built program carries them, held against
// the code they stand for: the dialog against the layout that
// CSonderikDlg::CreateControls makes on Linux (read from its source, so
// that neither can change alone), the version against the project's.

namespace {

constexpr WORD kResourceTypeDialog = 5;
constexpr WORD kResourceTypeGroupIcon = 14;
constexpr WORD kOrdinalMark = 0xFFFF;
constexpr WORD kExtendedTemplateVersion = 1;
constexpr int kTreeImageWidth = 17;
constexpr int kTreeImageHeight = 16;
constexpr int kTreeImageCount = 15;
constexpr COLORREF kTransparent = RGB(255, 255, 255);
// Fewer drawn pixels than this, and a picture is as good as missing.
constexpr int kLeastDrawnPixels = 12;
constexpr int kIconSizes[] = {16, 32, 48, 256};
// A group icon entry gives 256 as 0: its size is a byte.
constexpr int kLargestIconByte = 256;
constexpr int kVersionParts = 3;

LPCSTR ResourceName(WORD id) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(id)); }

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

std::string ReadSource(const std::string& relative)
{
    const std::string path = std::string(SONDERIK_SOURCE_DIR) + "/" + relative;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// --- the compiled template

struct TemplateItem {
    std::uint32_t id = 0;
    std::string className;
    std::string text;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct DialogTemplate {
    std::uint32_t style = 0;
    int width = 0;
    int height = 0;
    std::string caption;
    int pointSize = 0;
    std::string typeface;
    std::vector<TemplateItem> items;
};

// Walks a DLGTEMPLATEEX and its items; any read past the resource's end
// fails the test rather than reading on.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

    DialogTemplate Read()
    {
        DialogTemplate dialog;
        const WORD version = Word();
        const WORD signature = Word();
        EXPECT_EQ(version, kExtendedTemplateVersion);
        EXPECT_EQ(signature, kOrdinalMark) << "not an extended dialog template";
        Dword();  // help id
        Dword();  // extended style
        dialog.style = Dword();
        const WORD count = Word();
        Short();
        Short();
        dialog.width = Short();
        dialog.height = Short();
        EXPECT_TRUE(NameOrOrdinal().empty()) << "the dialog has no menu";
        EXPECT_TRUE(NameOrOrdinal().empty()) << "the dialog is of the system's dialog class";
        dialog.caption = Text();
        if ((dialog.style & DS_SETFONT) != 0) {
            dialog.pointSize = Word();
            Word();  // weight
            Byte();  // italic
            Byte();  // character set
            dialog.typeface = Text();
        }
        for (WORD i = 0; i < count && !failed_; ++i) {
            Align();
            TemplateItem item;
            Dword();  // help id
            item.exStyle = Dword();
            item.style = Dword();
            item.x = Short();
            item.y = Short();
            item.width = Short();
            item.height = Short();
            item.id = Dword();
            item.className = ClassName();
            item.text = NameOrOrdinal();
            const WORD extra = Word();
            Skip(extra);
            dialog.items.push_back(item);
        }
        return dialog;
    }

private:
    bool Have(std::size_t bytes)
    {
        if (failed_ || size_ - at_ < bytes) {
            if (!failed_) {
                ADD_FAILURE() << "the template ends at byte " << size_ << " inside an entry at " << at_;
            }
            failed_ = true;
            return false;
        }
        return true;
    }
    template <typename T>
    T Take()
    {
        T value{};
        if (Have(sizeof value)) {
            std::memcpy(&value, data_ + at_, sizeof value);
            at_ += sizeof value;
        }
        return value;
    }
    BYTE Byte() { return Take<BYTE>(); }
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    int Short() { return Take<std::int16_t>(); }
    void Skip(std::size_t bytes)
    {
        if (Have(bytes)) {
            at_ += bytes;
        }
    }
    void Align()
    {
        const std::size_t misaligned = at_ % sizeof(DWORD);
        if (misaligned != 0) {
            Skip(sizeof(DWORD) - misaligned);
        }
    }
    std::string Text()
    {
        std::wstring wide;
        for (WORD c = Word(); c != 0 && !failed_; c = Word()) {
            wide.push_back(static_cast<wchar_t>(c));
        }
        if (wide.empty()) {
            return {};
        }
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                             nullptr, nullptr);
        std::string narrow(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size, nullptr,
                            nullptr);
        return narrow;
    }
    // A name, or an ordinal given as "#n".
    std::string NameOrOrdinal()
    {
        if (!Have(sizeof(WORD))) {
            return {};
        }
        WORD first = 0;
        std::memcpy(&first, data_ + at_, sizeof first);
        if (first == kOrdinalMark) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }
    // The system's classes may be given by their atoms.
    std::string ClassName()
    {
        static const std::map<std::string, std::string> atoms = {
            {"#128", "BUTTON"}, {"#129", "EDIT"},      {"#130", "STATIC"},
            {"#131", "LISTBOX"}, {"#132", "SCROLLBAR"}, {"#133", "COMBOBOX"},
        };
        const std::string name = NameOrOrdinal();
        const auto atom = atoms.find(name);
        return atom != atoms.end() ? atom->second : name;
    }

    const BYTE* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

DialogTemplate LoadDialogTemplate(WORD id)
{
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, ResourceName(id), ResourceName(kResourceTypeDialog));
    if (found == nullptr) {
        ADD_FAILURE() << "no dialog resource " << id;
        return {};
    }
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    return TemplateReader(data, SizeofResource(module, found)).Read();
}

// --- the layout in code, read from its source

struct CodeControl {
    std::string member;
    std::string type;
    std::string idName;
    std::string text;
    std::uint32_t style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The style names the layout code may use, with the system's values.
const std::map<std::string, std::uint32_t>& StyleNames()
{
    static const std::map<std::string, std::uint32_t> names = {
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_VSCROLL", WS_VSCROLL},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_GROUPBOX", BS_GROUPBOX},
        {"BS_LEFTTEXT", BS_LEFTTEXT},
        {"ES_RIGHT", ES_RIGHT},
        {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
        {"ES_NUMBER", ES_NUMBER},
        {"UDS_SETBUDDYINT", UDS_SETBUDDYINT},
        {"UDS_ALIGNRIGHT", UDS_ALIGNRIGHT},
        {"UDS_AUTOBUDDY", UDS_AUTOBUDDY},
        {"UDS_ARROWKEYS", UDS_ARROWKEYS},
        {"UDS_NOTHOUSANDS", UDS_NOTHOUSANDS},
        {"LBS_NOTIFY", LBS_NOTIFY},
        {"LBS_SORT", LBS_SORT},
        {"LBS_USETABSTOPS", LBS_USETABSTOPS},
        {"LBS_NOINTEGRALHEIGHT", LBS_NOINTEGRALHEIGHT},
        {"TVS_HASBUTTONS", TVS_HASBUTTONS},
        {"TVS_HASLINES", TVS_HASLINES},
        {"TVS_LINESATROOT", TVS_LINESATROOT},
        {"TVS_DISABLEDRAGDROP", TVS_DISABLEDRAGDROP},
        {"TVS_SHOWSELALWAYS", TVS_SHOWSELALWAYS},
    };
    return names;
}

// The arguments of a call, split at its own commas: from just after its
// opening parenthesis to the one that closes it.
std::vector<std::string> CallArguments(const std::string& text, std::size_t open)
{
    std::vector<std::string> arguments;
    std::string current;
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            quoted = c != '"';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth-- == 0) {
            arguments.push_back(Trim(current));
            return arguments;
        } else if (c == ',' && depth == 0) {
            arguments.push_back(Trim(current));
            current.clear();
            continue;
        }
        current += c;
    }
    ADD_FAILURE() << "a call that does not close";
    return arguments;
}

std::map<std::string, std::string> MemberTypes(const std::string& header)
{
    std::map<std::string, std::string> types;
    const std::regex member(R"(^\s*(\w+)\s+(m_\w+)(?:\[\d+\])?;)");
    std::istringstream lines(header);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_search(line, match, member)) {
            types[match[2]] = match[1];
        }
    }
    return types;
}

std::vector<CodeControl> ControlsInCode()
{
    const std::string source = ReadSource("app/SonderikDlg.cpp");
    const std::map<std::string, std::string> types = MemberTypes(ReadSource("app/SonderikDlg.h"));
    const std::size_t start = source.find("void CSonderikDlg::CreateControls()");
    const std::size_t end = source.find("\n}\n", start);
    EXPECT_NE(start, std::string::npos) << "CreateControls is not in app/SonderikDlg.cpp";
    if (start == std::string::npos) {
        return {};
    }
    const std::string body = source.substr(start, end - start);

    const std::regex create(R"((m_\w+)(?:\[\d+\])?\.Create\()");
    const std::regex rect(R"(^r\(\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*\)$)");
    const std::regex styleExpression(R"(^[A-Z][A-Z_]*(\s*\|\s*[A-Z][A-Z_]*)*$)");
    const std::regex idName(R"(^IDC_\w+$)");
    std::vector<CodeControl> controls;
    for (auto call = std::sregex_iterator(body.begin(), body.end(), create); call != std::sregex_iterator(); ++call) {
        CodeControl control;
        control.member = (*call)[1];
        const auto type = types.find(control.member);
        EXPECT_NE(type, types.end()) << control.member << " is not a member of the dialog";
        control.type = type != types.end() ? type->second : std::string();
        const auto open = static_cast<std::size_t>(call->position(0) + call->length(0) - 1);
        bool placed = false;
        for (const std::string& argument : CallArguments(body, open)) {
            std::smatch match;
            if (!argument.empty() && argument.front() == '"') {
                control.text = argument.substr(1, argument.size() - 2);
            } else if (std::regex_match(argument, match, rect)) {
                control.x = std::stoi(match[1]);
                control.y = std::stoi(match[2]);
                control.width = std::stoi(match[3]);
                control.height = std::stoi(match[4]);
                placed = true;
            } else if (std::regex_match(argument, idName)) {
                control.idName = argument;
            } else if (std::regex_match(argument, styleExpression)) {
                std::istringstream parts(argument);
                std::string part;
                while (std::getline(parts, part, '|')) {
                    const auto style = StyleNames().find(Trim(part));
                    EXPECT_NE(style, StyleNames().end()) << control.member << ": unknown style " << Trim(part);
                    control.style |= style != StyleNames().end() ? style->second : 0;
                }
            }
        }
        EXPECT_TRUE(placed) << control.member << " is created without a rectangle";
        EXPECT_FALSE(control.idName.empty()) << control.member << " is created without an id";
        controls.push_back(control);
    }
    return controls;
}

std::map<std::string, std::uint32_t> IdsInCode()
{
    const std::string header = ReadSource("app/DialogIds.h");
    const std::regex id(R"((IDC_\w+) = (\d+),)");
    std::map<std::string, std::uint32_t> ids;
    for (auto match = std::sregex_iterator(header.begin(), header.end(), id); match != std::sregex_iterator();
         ++match) {
        ids[(*match)[1]] = static_cast<std::uint32_t>(std::stoul((*match)[2]));
    }
    return ids;
}

// What each kind of control of the code is on Windows: its class, and what
// its window needs there besides the code's styles (the Qt widgets have it
// of themselves).
struct WindowsKind {
    std::string className;
    std::uint32_t style;
};

const std::map<std::string, WindowsKind>& WindowsKinds()
{
    constexpr std::uint32_t shown = WS_CHILD | WS_VISIBLE;
    static const std::map<std::string, WindowsKind> kinds = {
        {"CButton", {"BUTTON", shown}},
        {"AuditionButton", {"BUTTON", shown}},
        {"CStatic", {"STATIC", shown | SS_LEFT | SS_NOPREFIX}},
        {"CEdit", {"EDIT", shown | WS_BORDER}},
        // Hidden, and taking a text however long.
        {"CDoneEdit", {"EDIT", WS_CHILD | ES_AUTOHSCROLL}},
        {"CComboBox", {"COMBOBOX", shown | CBS_DROPDOWNLIST}},
        {"CSpinButtonCtrl", {UPDOWN_CLASSA, shown}},
        {"CTreeCtrl", {WC_TREEVIEWA, shown | WS_BORDER}},
        {"CListBox", {"LISTBOX", shown | WS_BORDER}},
    };
    return kinds;
}

TEST(WindowResourcesTest, DialogHoldsTheControlsOfTheCodeInItsOrder)
{
    const std::vector<CodeControl> code = ControlsInCode();
    const std::map<std::string, std::uint32_t> ids = IdsInCode();
    const DialogTemplate dialog = LoadDialogTemplate(IDD_SONDERIK_DIALOG);

    // Every id the code names is a control, once: nothing of the dialog
    // can be left out of the template unnoticed.
    std::set<std::string> created;
    for (const CodeControl& control : code) {
        EXPECT_TRUE(created.insert(control.idName).second) << control.idName << " is created twice";
    }
    for (const auto& [name, value] : ids) {
        EXPECT_EQ(created.count(name), 1u) << name << " (" << value << ") is not created";
    }

    ASSERT_EQ(dialog.items.size(), code.size());
    for (std::size_t i = 0; i < code.size(); ++i) {
        const CodeControl& control = code[i];
        const TemplateItem& item = dialog.items[i];
        SCOPED_TRACE(control.member + " (" + control.idName + ")");
        const auto kind = WindowsKinds().find(control.type);
        ASSERT_NE(kind, WindowsKinds().end()) << "no Windows class for " << control.type;
        EXPECT_EQ(item.id, ids.at(control.idName));
        EXPECT_EQ(Upper(item.className), Upper(kind->second.className));
        EXPECT_EQ(item.text, control.text);
        EXPECT_EQ(item.style, control.style | kind->second.style) << std::hex << "template 0x" << item.style
                                                                 << ", code 0x" << control.style;
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.x, control.x);
        EXPECT_EQ(item.y, control.y);
        EXPECT_EQ(item.width, control.width);
        EXPECT_EQ(item.height, control.height);
    }
}

TEST(WindowResourcesTest, DialogIsTheCodesSizeInTheShellFontAndResizable)
{
    const std::string source = ReadSource("app/SonderikDlg.cpp");
    const std::regex size(R"(SetTemplate\([^,]*,\s*(\d+),\s*(\d+)\))");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(source, match, size)) << "the code gives the dialog no size";
    const DialogTemplate dialog = LoadDialogTemplate(IDD_SONDERIK_DIALOG);

    EXPECT_EQ(dialog.width, std::stoi(match[1]));
    EXPECT_EQ(dialog.height, std::stoi(match[2]));
    EXPECT_EQ(dialog.caption, "Sonderik");
    EXPECT_EQ(dialog.style & DS_SHELLFONT, static_cast<std::uint32_t>(DS_SHELLFONT));
    EXPECT_EQ(dialog.typeface, "MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);
    // A main window: resizable, with a maximise box, and shown by the
    // program once it has its place.
    EXPECT_NE(dialog.style & WS_THICKFRAME, 0u);
    EXPECT_NE(dialog.style & WS_MAXIMIZEBOX, 0u);
    EXPECT_NE(dialog.style & WS_SYSMENU, 0u);
    EXPECT_EQ(dialog.style & WS_VISIBLE, 0u);
    EXPECT_EQ(dialog.style & WS_CHILD, 0u);
}

// The template as the system makes a window of it: every control exists in
// its class, is shown or hidden as the template says, sits where its dialog
// units put it, and each up-down control has taken the edit before it as the
// number field it drives. Wine needs a display for any window: without
// one the case says so (tests/windows.cmake gives it one).
INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(WindowResourcesTest, DialogWindowHasEveryControlAndTheSpinsTheirBuddies)
{
    const HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) {
        GTEST_SKIP() << "this system makes no windows here (no display)";
    }
    DestroyWindow(probe);
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES | ICC_UPDOWN_CLASS};
    ASSERT_NE(InitCommonControlsEx(&classes), 0);
    const HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), ResourceName(IDD_SONDERIK_DIALOG), nullptr,
                                           QuietDialog, 0);
    ASSERT_NE(window, nullptr) << "error " << GetLastError();
    EXPECT_EQ(IsWindowVisible(window), FALSE);

    const DialogTemplate dialog = LoadDialogTemplate(IDD_SONDERIK_DIALOG);
    const auto isSpin = [&](std::size_t index) {
        return index < dialog.items.size() && Upper(dialog.items[index].className) == Upper(UPDOWN_CLASSA);
    };
    HWND previous = nullptr;
    for (std::size_t index = 0; index < dialog.items.size(); ++index) {
        const TemplateItem& item = dialog.items[index];
        SCOPED_TRACE("control " + std::to_string(item.id));
        const HWND control = GetDlgItem(window, static_cast<int>(item.id));
        ASSERT_NE(control, nullptr);
        char className[MAX_PATH] = {};
        GetClassNameA(control, className, MAX_PATH);
        EXPECT_EQ(Upper(className), Upper(item.className));
        const auto style = static_cast<std::uint32_t>(GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(style & WS_VISIBLE, item.style & WS_VISIBLE);

        // The dialog manager maps a control's place and its size each on
        // its own. An up-down control moves onto its buddy's right edge and
        // narrows it, and a drop-down list's window is as high as its closed
        // field, not as its list: those are left out where they differ.
        RECT expected{item.x, item.y, item.width, item.height};
        ASSERT_NE(MapDialogRect(window, &expected), 0);
        RECT actual{};
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
        if (!isSpin(index) && !isSpin(index + 1)) {
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.right - actual.left, expected.right);
        }
        EXPECT_EQ(actual.top, expected.top);
        if (Upper(item.className) != "COMBOBOX") {
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
        if (isSpin(index)) {
            EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(control, UDM_GETBUDDY, 0, 0)), previous);
        }
        previous = control;
    }
    DestroyWindow(window);
}

// --- the version record

std::string VersionValue(const std::vector<char>& record, const std::string& path)
{
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(record.data(), path.c_str(), &value, &length) == 0 || value == nullptr) {
        return "(none)";
    }
    return static_cast<const char*>(value);
}

TEST(WindowResourcesTest, VersionRecordGivesTheProjectVersion)
{
    char program[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeA(program, &unused);
    ASSERT_NE(size, 0u) << "the program has no version record";
    std::vector<char> record(size);
    ASSERT_NE(GetFileVersionInfoA(program, 0, size, record.data()), 0);

    int parts[kVersionParts] = {};
    ASSERT_EQ(std::sscanf(SONDERIK_VERSION, "%d.%d.%d", &parts[0], &parts[1], &parts[2]), kVersionParts);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_NE(VerQueryValueA(record.data(), "\\", &value, &length), 0);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), parts[0]);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), parts[1]);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), parts[2]);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    // The texts are found as a reader finds them: through the record's own
    // language and code page.
    ASSERT_NE(VerQueryValueA(record.data(), "\\VarFileInfo\\Translation", &value, &length), 0);
    ASSERT_GE(length, 2 * sizeof(WORD));
    const auto* translation = static_cast<const WORD*>(value);
    char block[sizeof "\\StringFileInfo\\xxxxxxxx\\"];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    EXPECT_EQ(VersionValue(record, std::string(block) + "FileVersion"), SONDERIK_VERSION);
    EXPECT_EQ(VersionValue(record, std::string(block) + "ProductVersion"), SONDERIK_VERSION);
    EXPECT_EQ(VersionValue(record, std::string(block) + "ProductName"), "Sonderik");
}

// --- the pictures

TEST(WindowResourcesTest, TreeImagesAreFifteenPicturesOnWhite)
{
    const auto bitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), ResourceName(IDB_TREE_IMAGES), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmWidth, kTreeImageWidth * kTreeImageCount);
    EXPECT_EQ(dib.dsBm.bmHeight, kTreeImageHeight);
    ASSERT_EQ(dib.dsBm.bmBitsPixel, 24);
    ASSERT_EQ(dib.dsBm.bmWidth, kTreeImageWidth * kTreeImageCount);
    ASSERT_NE(dib.dsBm.bmBits, nullptr);

    // Each picture has something drawn and white round it (what the image
    // list leaves transparent), and no two are the same.
    const auto* bits = static_cast<const BYTE*>(dib.dsBm.bmBits);
    const auto pixel = [&](int x, int y) {
        const BYTE* at = bits + static_cast<std::ptrdiff_t>(y) * dib.dsBm.bmWidthBytes + x * 3;
        return RGB(at[2], at[1], at[0]);
    };
    std::set<std::vector<COLORREF>> seen;
    for (int image = 0; image < kTreeImageCount; ++image) {
        SCOPED_TRACE("image " + std::to_string(image));
        std::vector<COLORREF> pixels;
        int drawn = 0;
        for (int y = 0; y < kTreeImageHeight; ++y) {
            for (int x = 0; x < kTreeImageWidth; ++x) {
                pixels.push_back(pixel(image * kTreeImageWidth + x, y));
                drawn += pixels.back() != kTransparent ? 1 : 0;
            }
        }
        EXPECT_GE(drawn, kLeastDrawnPixels);
        EXPECT_LT(drawn, kTreeImageWidth * kTreeImageHeight);
        EXPECT_TRUE(seen.insert(pixels).second) << "the same as an earlier image";
    }
    DeleteObject(bitmap);
}

#pragma pack(push, 1)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(WindowResourcesTest, IconHasEverySizeAndLoadsSmallAndLarge)
{
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, ResourceName(IDI_SONDERIK), ResourceName(kResourceTypeGroupIcon));
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const std::size_t size = SizeofResource(module, found);
    constexpr std::size_t kHeader = 3 * sizeof(WORD);
    ASSERT_GE(size, kHeader);
    WORD count = 0;
    std::memcpy(&count, group + 2 * sizeof(WORD), sizeof count);
    ASSERT_EQ(size, kHeader + count * sizeof(GroupIconEntry));
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry entry{};
        std::memcpy(&entry, group + kHeader + i * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.width, entry.height);
        sizes.insert(entry.width == 0 ? kLargestIconByte : entry.width);
    }
    EXPECT_EQ(sizes, std::set<int>(std::begin(kIconSizes), std::end(kIconSizes)));

    for (const int side : {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CXICON)}) {
        SCOPED_TRACE("size " + std::to_string(side));
        const auto icon =
            static_cast<HICON>(LoadImageA(module, ResourceName(IDI_SONDERIK), IMAGE_ICON, side, side, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_NE(GetIconInfo(icon, &info), 0);
        BITMAP colour{};
        ASSERT_NE(info.hbmColor, nullptr);
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, side);
        EXPECT_EQ(colour.bmHeight, side);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

}  // namespace
