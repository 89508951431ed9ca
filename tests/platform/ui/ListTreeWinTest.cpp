// The list box, the tree and the image list over the system's own controls:
// our order of names in place of the system's sort, names kept as bytes,
// notifications from the user's mouse and not from the program, a list made
// anew in another's place, and the tree's "expanding" asked every time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Bitmaps.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/Names.h"
#include "platform/ui/TreeCtrl.h"
#include "platform/ui/WinAccess.h"

namespace {

constexpr int kList = 1001;
constexpr int kTree = 1002;
constexpr DWORD kNotifyingList = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kTreeStyle = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kTreeImageHeight = 16;
constexpr int kTreeImageCount = 15;

// The controls' dialog, never shown: the controls answer the same, and a
// shown window costs seconds to take down under wine without a window manager.
class Host : public CDialog {
public:
    Host() { SetTemplate(ui::kShellFont, 300, 200); }
    bool Made() const { return GetSafeHwnd() != nullptr; }
};

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return ::SendMessageA(window, message, wParam, lParam);
}

LPARAM Packed(POINT at)
{
    return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
}

std::vector<std::string> Lines(const CListBox& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.GetCount(); ++i) {
        lines.push_back(list.GetText(i));
    }
    return lines;
}

// The lines as the system's list shows them.
std::vector<std::string> ShownLines(const CListBox& list)
{
    const HWND window = ui::win::HwndOf(list);
    std::vector<std::string> lines;
    const auto count = static_cast<int>(Send(window, LB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        std::string line(static_cast<std::size_t>(Send(window, LB_GETTEXTLEN, static_cast<WPARAM>(i))) + 1, '\0');
        line.resize(static_cast<std::size_t>(
            Send(window, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data()))));
        lines.push_back(line);
    }
    return lines;
}

// The middle of a line, in the list's client coordinates.
POINT LineCentre(const CListBox& list, int index)
{
    RECT line{};
    Send(ui::win::HwndOf(list), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&line));
    return POINT{(line.left + line.right) / 2, (line.top + line.bottom) / 2};
}

// As the mouse does it: a press and a release, or a double-click's second press and its release.
void Click(const CListBox& list, int index, bool twice = false)
{
    const HWND window = ui::win::HwndOf(list);
    const LPARAM at = Packed(LineCentre(list, index));
    Send(window, twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, at);
    Send(window, WM_LBUTTONUP, 0, at);
}

bool Backwards(std::string_view a, std::string_view b) { return ui::CompareNoCase(b, a) < 0; }

class ListBoxWinTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Made()); }

    Host host;
};

TEST_F(ListBoxWinTest, SortedLinesFollowOurOrderNotTheSystems)
{
    CListBox sorted;
    ASSERT_TRUE(sorted.Create(LBS_SORT | kNotifyingList, RECT{0, 0, 100, 100}, &host, kList));
    // The application reads the sort from the style; the system list itself must not sort.
    EXPECT_NE(sorted.GetStyle() & LBS_SORT, 0U);
    for (const char* line : {"b", "A", "a", "B", "_x", "[x"}) {
        sorted.AddString(line);
    }
    // '[' (0x5B) before '_' (0x5F) before letters folded down; equal lines in arrival order.
    EXPECT_EQ(Lines(sorted), (std::vector<std::string>{"[x", "_x", "A", "a", "b", "B"}));
    EXPECT_EQ(ShownLines(sorted), Lines(sorted));
    EXPECT_EQ(sorted.InsertString(0, "c"), 6);  // a sorted list places it, whatever the index

    CListBox custom;
    custom.SetSortOrder(&Backwards);
    ASSERT_TRUE(custom.Create(LBS_SORT, RECT{0, 0, 100, 100}, &host, kList + 1));
    for (const char* line : {"a", "c", "b"}) {
        custom.AddString(line);
    }
    EXPECT_EQ(Lines(custom), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(ListBoxWinTest, LinesKeepTheirBytesDataAndTabStops)
{
    CListBox list;
    ASSERT_TRUE(list.Create(LBS_SORT | LBS_USETABSTOPS | kNotifyingList, RECT{0, 0, 150, 100}, &host, kList));
    // Bytes that are no letters in any code page's sense of ours, one of them unassigned in 1252.
    const std::string name = "I1-002\tP\xE4no \x81\xFF";
    const int at = list.AddString(name);
    list.AddString("A\tfirst");
    ASSERT_GE(at, 0);
    EXPECT_EQ(list.GetText(list.FindStringExact(-1, name)), name);
    // Only A to Z fold: the upper-case line is found, a byte above 127 is not folded.
    EXPECT_GE(list.FindStringExact(-1, "i1-002\tp\xE4NO \x81\xFF"), 0);
    EXPECT_EQ(list.FindStringExact(-1, "I1-002\tP\xC4no \x81\xFF"), LB_ERR);

    const int found = list.FindStringExact(-1, name);
    EXPECT_EQ(list.SetItemData(found, 0xC0FFEE), 0);
    EXPECT_EQ(list.GetItemData(found), 0xC0FFEEU);

    EXPECT_TRUE(list.SetTabStops({14, 40}));
    CListBox untabbed;
    ASSERT_TRUE(untabbed.Create(0, RECT{0, 0, 100, 100}, &host, kList + 1));
    EXPECT_FALSE(untabbed.SetTabStops({14, 40}));
}

TEST_F(ListBoxWinTest, TheUsersMouseNotifiesTheProgramsSelectionDoesNot)
{
    CListBox list;
    ASSERT_TRUE(list.Create(kNotifyingList, RECT{0, 0, 120, 120}, &host, kList));
    int changes = 0;
    int doubles = 0;
    std::vector<POINT> menus;
    list.onSelChange = [&] { ++changes; };
    list.onDblClk = [&] { ++doubles; };
    list.onContextMenu = [&](POINT at) { menus.push_back(at); };
    for (const char* line : {"one", "two", "three"}) {
        list.AddString(line);
    }

    EXPECT_EQ(list.SetCurSel(1), 1);
    EXPECT_EQ(list.SetCurSel(9), LB_ERR);
    EXPECT_EQ(list.GetCurSel(), LB_ERR);
    EXPECT_EQ(changes, 0);

    Click(list, 2);
    EXPECT_GE(changes, 1);
    EXPECT_EQ(list.GetCurSel(), 2);
    EXPECT_EQ(doubles, 0);
    Click(list, 2, true);
    EXPECT_EQ(doubles, 1);

    // A right click selects the line under the pointer before the menu.
    POINT screen = LineCentre(list, 0);
    ::ClientToScreen(ui::win::HwndOf(list), &screen);
    Send(ui::win::HwndOf(list), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(ui::win::HwndOf(list)), Packed(screen));
    ASSERT_EQ(menus.size(), 1U);
    EXPECT_EQ(menus[0].x, screen.x);
    EXPECT_EQ(menus[0].y, screen.y);
    EXPECT_EQ(list.GetCurSel(), 0);

    // A list of many selected lines: the current line and the others apart.
    CListBox many;
    ASSERT_TRUE(many.Create(LBS_EXTENDEDSEL, RECT{0, 0, 100, 100}, &host, kList + 1));
    for (const char* line : {"a", "b", "c"}) {
        many.AddString(line);
    }
    EXPECT_EQ(many.SetCurSel(2), 2);
    EXPECT_EQ(many.SetSel(0, true), 0);
    EXPECT_EQ(many.GetCurSel(), 2);
    EXPECT_EQ(many.GetSel(0), 1);
    EXPECT_EQ(many.GetSel(1), 0);
    EXPECT_EQ(many.SetCurSel(1), 1);
    EXPECT_EQ(many.GetSel(0), 0);
}

TEST_F(ListBoxWinTest, AListMadeInAnothersPlaceTakesItsPlaceAndItsObjectsHandlers)
{
    CListBox list;
    list.SetSortOrder(&Backwards);
    ASSERT_TRUE(list.Create(kNotifyingList, RECT{10, 20, 110, 120}, &host, kList));
    CListBox after;
    ASSERT_TRUE(after.Create(kNotifyingList, RECT{120, 20, 220, 120}, &host, kList + 1));
    const HWND old = ui::win::HwndOf(list);
    auto* font = ::GetStockObject(ANSI_FIXED_FONT);
    Send(old, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int listChanges = 0;
    int freshChanges = 0;
    list.onSelChange = [&] { ++listChanges; };

    CListBox fresh;
    fresh.onSelChange = [&] { ++freshChanges; };
    ASSERT_TRUE(fresh.CreateInPlaceOf(list, list.GetStyle() | LBS_SORT));
    const HWND made = ui::win::HwndOf(fresh);
    EXPECT_EQ(::GetParent(made), ::GetParent(old));
    EXPECT_EQ(::GetDlgCtrlID(made), kList);
    EXPECT_EQ(::GetWindow(old, GW_HWNDNEXT), made);  // next in the tab order, before `after`
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(Send(made, WM_GETFONT)), font);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongA(made, GWL_STYLE)) & WS_VISIBLE, 0U);
    RECT was{};
    RECT is{};
    ::GetWindowRect(old, &was);
    ::GetWindowRect(made, &is);
    EXPECT_TRUE(::EqualRect(&was, &is) != FALSE);

    list.DestroyWindow();
    EXPECT_EQ(list.GetSafeHwnd(), nullptr);
    list.Attach(fresh);
    EXPECT_EQ(ui::win::HwndOf(list), made);
    EXPECT_EQ(fresh.GetSafeHwnd(), nullptr);
    list.ShowWindow(SW_SHOW);
    // The new window sorts, by the order the object was given.
    for (const char* line : {"a", "c", "b"}) {
        list.AddString(line);
    }
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(ShownLines(list), Lines(list));
    Click(list, 1);
    EXPECT_GE(listChanges, 1);
    EXPECT_EQ(freshChanges, 0);
}

class TreeCtrlWinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Made());
        ASSERT_TRUE(tree.Create(kTreeStyle, RECT{0, 0, 200, 180}, &host, kTree));
    }

    HTREEITEM Folder(const std::string& name, HTREEITEM parent = TVI_ROOT)
    {
        TVINSERTSTRUCTA insert{};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_SORT;
        insert.item.mask = TVIF_TEXT | TVIF_CHILDREN;
        insert.item.pszText = const_cast<LPSTR>(name.c_str());
        insert.item.cChildren = 1;
        return tree.InsertItem(insert);
    }

    std::vector<std::string> Names(HTREEITEM parent = TVI_ROOT) const
    {
        std::vector<std::string> names;
        for (HTREEITEM at = tree.GetChildItem(parent); at != nullptr; at = tree.GetNextSiblingItem(at)) {
            names.push_back(tree.GetItemText(at));
        }
        return names;
    }

    // Where the system puts the node's expand button (drawn or not), by its own hit test.
    bool ButtonSpot(HTREEITEM item, POINT& at) const
    {
        const HWND window = ui::win::HwndOf(tree);
        RECT text{};
        std::memcpy(&text, &item, sizeof(item));
        if (Send(window, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&text)) == FALSE) {
            return false;
        }
        for (LONG x = 0; x < text.left; ++x) {
            TVHITTESTINFO hit{};
            hit.pt = POINT{x, (text.top + text.bottom) / 2};
            if (reinterpret_cast<HTREEITEM>(Send(window, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))) == item &&
                (hit.flags & TVHT_ONITEMBUTTON) != 0) {
                at = hit.pt;
                return true;
            }
        }
        return false;
    }

    void ClickAt(POINT at)
    {
        Send(ui::win::HwndOf(tree), WM_LBUTTONDOWN, MK_LBUTTON, Packed(at));
        Send(ui::win::HwndOf(tree), WM_LBUTTONUP, 0, Packed(at));
    }

    Host host;
    CTreeCtrl tree;
};

TEST_F(TreeCtrlWinTest, SortedNodesFollowOurOrderAtEveryLevel)
{
    for (const char* name : {"_x", "Banana", "[x", "apple", "b.s1v", "B.S1V"}) {
        Folder(name);
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"[x", "_x", "apple", "b.s1v", "B.S1V", "Banana"}));

    // The order set before the window is made, as the browser sets it.
    CTreeCtrl backwards;
    backwards.SetSortOrder(&Backwards);
    ASSERT_TRUE(backwards.Create(kTreeStyle, RECT{0, 0, 100, 100}, &host, kTree + 1));
    const HTREEITEM top = backwards.InsertItem("top", 0, 0);
    for (const char* name : {"a", "c", "b"}) {
        TVINSERTSTRUCTA insert{};
        insert.hParent = top;
        insert.hInsertAfter = TVI_SORT;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<LPSTR>(name);
        backwards.InsertItem(insert);
    }
    std::vector<std::string> kids;
    for (HTREEITEM at = backwards.GetChildItem(top); at != nullptr; at = backwards.GetNextSiblingItem(at)) {
        kids.push_back(backwards.GetItemText(at));
        EXPECT_EQ(backwards.GetParentItem(at), top);
    }
    EXPECT_EQ(kids, (std::vector<std::string>{"c", "b", "a"}));
    // Nodes under it give it children, though it was made without the indicator.
    EXPECT_TRUE(backwards.ItemHasChildren(top));
    EXPECT_EQ(backwards.GetCount(), 4);
    EXPECT_EQ(backwards.GetParentItem(top), nullptr);
}

TEST_F(TreeCtrlWinTest, SortedPlacesHoldAfterDeletesRenamesAndNodesPlacedByHand)
{
    const HTREEITEM top = Folder("top");
    for (const char* name : {"m", "c", "x"}) {
        Folder(name, top);
    }
    tree.DeleteItem(tree.GetChildItem(top));  // "c"
    Folder("d", top);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"d", "m", "x"}));

    // Renamed out of its place, then a node given a place by hand: the names are read again from the
    // tree, and a sorted node goes before the first one ordered after it.
    TVITEMA rename{};
    rename.mask = TVIF_TEXT;
    rename.hItem = tree.GetChildItem(top);
    rename.pszText = const_cast<LPSTR>("p");
    EXPECT_TRUE(tree.SetItem(rename));
    Folder("n", top);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"n", "p", "m", "x"}));
    tree.InsertItem("a", 0, 0, top, TVI_LAST);
    Folder("y", top);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"n", "p", "m", "x", "a", "y"}));

    // A subtree deleted and its handles given out again: nothing kept of it misplaces a new node.
    const HTREEITEM gone = Folder("gone");
    for (const char* name : {"p", "q"}) {
        Folder(name, gone);
    }
    EXPECT_TRUE(tree.DeleteItem(gone));
    const HTREEITEM fresh = Folder("fresh");
    for (const char* name : {"s", "r"}) {
        Folder(name, fresh);
    }
    EXPECT_EQ(Names(fresh), (std::vector<std::string>{"r", "s"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"fresh", "top"}));
}

TEST_F(TreeCtrlWinTest, ACollapseOverTheSelectionKeepsItAndOpeningShowsItAgain)
{
    const HTREEITEM top = Folder("top");
    const HTREEITEM kid = Folder("kid", top);
    ASSERT_TRUE(tree.Expand(top, TVE_EXPAND));
    ASSERT_TRUE(tree.SelectItem(kid));
    int changes = 0;
    tree.onSelChanged = [&](HTREEITEM, HTREEITEM) { ++changes; };

    EXPECT_TRUE(tree.Expand(top, TVE_COLLAPSE));
    EXPECT_FALSE(tree.IsExpanded(top));
    EXPECT_EQ(tree.GetSelectedItem(), kid);
    EXPECT_TRUE(tree.Expand(top, TVE_EXPAND));
    EXPECT_EQ(tree.GetSelectedItem(), kid);
    EXPECT_EQ(Send(ui::win::HwndOf(tree), TVM_GETNEXTITEM, TVGN_CARET, 0), reinterpret_cast<LRESULT>(kid));

    // The user's click on the button does the same, and the node collapsed can then be chosen.
    POINT button{};
    ASSERT_TRUE(ButtonSpot(top, button));
    ClickAt(button);
    EXPECT_FALSE(tree.IsExpanded(top));
    EXPECT_EQ(tree.GetSelectedItem(), kid);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(tree.SelectItem(top));
    EXPECT_EQ(tree.GetSelectedItem(), top);
    EXPECT_EQ(changes, 1);
}

TEST_F(TreeCtrlWinTest, NodesKeepTextDataAndChildrenIndicator)
{
    const std::string name = std::string("Pi\xE4no ") + std::string(300, 'x');  // longer than a path
    const HTREEITEM node = Folder(name);
    EXPECT_EQ(tree.GetItemText(node), name);
    EXPECT_TRUE(tree.SetItemData(node, 0x1234));
    EXPECT_EQ(tree.GetItemData(node), 0x1234);
    EXPECT_TRUE(tree.ItemHasChildren(node));

    TVITEMA none{};
    none.mask = TVIF_CHILDREN;
    none.hItem = node;
    none.cChildren = 0;
    EXPECT_TRUE(tree.SetItem(none));
    EXPECT_FALSE(tree.ItemHasChildren(node));
    int asked = 0;
    tree.onItemExpanding = [&](HTREEITEM, UINT) {
        ++asked;
        return false;
    };
    EXPECT_FALSE(tree.Expand(node, TVE_EXPAND));
    // Nor is there a button for the user to open it with.
    POINT button{};
    ASSERT_TRUE(ButtonSpot(node, button));
    ClickAt(button);
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(tree.IsExpanded(node));
}

TEST_F(TreeCtrlWinTest, ExpandingIsAskedEveryTimeAndARefusalHolds)
{
    const HTREEITEM node = Folder("C:");
    std::vector<UINT> asked;
    bool refuse = true;
    tree.onItemExpanding = [&](HTREEITEM item, UINT action) {
        EXPECT_EQ(item, node);
        asked.push_back(action);
        if (!refuse && action == TVE_EXPAND && tree.GetChildItem(node) == nullptr) {
            Folder("Voices", node);
        }
        return refuse;
    };

    EXPECT_FALSE(tree.Expand(node, TVE_EXPAND));
    EXPECT_FALSE(tree.IsExpanded(node));
    refuse = false;
    EXPECT_TRUE(tree.Expand(node, TVE_EXPAND));
    EXPECT_TRUE(tree.IsExpanded(node));
    EXPECT_EQ(Names(node), (std::vector<std::string>{"Voices"}));
    EXPECT_TRUE(tree.Expand(node, TVE_TOGGLE));
    EXPECT_FALSE(tree.IsExpanded(node));
    // The system itself asks only on a program's first expanding.
    EXPECT_TRUE(tree.Expand(node, TVE_EXPAND));
    EXPECT_EQ(asked, (std::vector<UINT>{TVE_EXPAND, TVE_EXPAND, TVE_COLLAPSE, TVE_EXPAND}));

    // The user's click on the button: the system asks, and the refusal holds.
    EXPECT_TRUE(tree.Expand(node, TVE_COLLAPSE));
    asked.clear();
    refuse = true;
    POINT button{};
    ASSERT_TRUE(ButtonSpot(node, button));
    ClickAt(button);
    EXPECT_EQ(asked, (std::vector<UINT>{TVE_EXPAND}));
    EXPECT_FALSE(tree.IsExpanded(node));
}

TEST_F(TreeCtrlWinTest, SelectingReportsOldAndNewAndADeletedSelectionGoesQuietly)
{
    const HTREEITEM first = Folder("a");
    const HTREEITEM second = Folder("b");
    std::vector<std::pair<HTREEITEM, HTREEITEM>> changes;
    tree.onSelChanged = [&](HTREEITEM before, HTREEITEM now) {
        // Synchronous: the tree already answers with the new selection.
        EXPECT_EQ(tree.GetSelectedItem(), now);
        changes.emplace_back(before, now);
    };
    EXPECT_TRUE(tree.SelectItem(first));
    EXPECT_TRUE(tree.SelectItem(second));
    ASSERT_EQ(changes.size(), 2U);
    EXPECT_EQ(changes[0], std::make_pair(HTREEITEM{nullptr}, first));
    EXPECT_EQ(changes[1], std::make_pair(first, second));

    EXPECT_TRUE(tree.DeleteItem(second));
    EXPECT_EQ(changes.size(), 2U);
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(tree.GetCount(), 0);
    EXPECT_EQ(tree.GetRootItem(), nullptr);
}

TEST_F(TreeCtrlWinTest, TheTreesPicturesComeFromTheProgramsBitmap)
{
    CImageList images;
    ASSERT_TRUE(images.Create(ui::kTreeImagesBitmap, ui::kTreeImageWidth, 1, kWhite));
    EXPECT_EQ(images.GetImageCount(), kTreeImageCount);
    EXPECT_EQ(images.Width(), ui::kTreeImageWidth);
    EXPECT_EQ(images.Height(), kTreeImageHeight);
    EXPECT_EQ(tree.SetImageList(&images), nullptr);
    const auto shown = reinterpret_cast<HIMAGELIST>(Send(ui::win::HwndOf(tree), TVM_GETIMAGELIST, TVSIL_NORMAL));
    ASSERT_NE(shown, nullptr);
    int width = 0;
    int height = 0;
    ASSERT_TRUE(::ImageList_GetIconSize(shown, &width, &height) != FALSE);
    EXPECT_EQ(width, ui::kTreeImageWidth);
    EXPECT_EQ(height, kTreeImageHeight);
    EXPECT_EQ(::ImageList_GetImageCount(shown), kTreeImageCount);
    EXPECT_EQ(tree.SetImageList(nullptr), &images);

    CImageList missing;
    EXPECT_FALSE(missing.Create(ui::kTreeImagesBitmap + 1, ui::kTreeImageWidth, 1, kWhite));
    EXPECT_EQ(missing.GetImageCount(), 0);
}

}  // namespace
