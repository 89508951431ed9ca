#include "platform/ui/TreeCtrl.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include <commctrl.h>

#include "platform/ui/WinAccess.h"

// --- CImageList

namespace ui {

// What the Win32 backend keeps of an image list: the system's own.
struct ImageStore {
    HIMAGELIST list = nullptr;

    ImageStore() = default;
    ~ImageStore()
    {
        if (list != nullptr) {
            ::ImageList_Destroy(list);
        }
    }
    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;
};

}  // namespace ui

namespace {

LPCSTR ResourceName(UINT id) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))); }

}  // namespace

CImageList::CImageList() = default;
CImageList::~CImageList() = default;

bool CImageList::Create(int width, int height, int initial, int grow)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    HIMAGELIST list =
        ::ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, std::max(initial, 0), std::max(grow, 0));
    if (list == nullptr) {
        return false;
    }
    store_ = std::make_unique<ui::ImageStore>();
    store_->list = list;
    width_ = width;
    height_ = height;
    return true;
}

bool CImageList::Create(UINT bitmapId, int width, int grow, COLORREF mask)
{
    // A section keeps the strip's own colours whatever the screen's depth, so the mask colour matches exactly.
    auto* strip = static_cast<HBITMAP>(
        ::LoadImageA(::GetModuleHandleA(nullptr), ResourceName(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (strip == nullptr) {
        return false;
    }
    BITMAP info{};
    const bool made = ::GetObjectA(strip, sizeof(info), &info) != 0 && width > 0 &&
                      Create(width, std::abs(info.bmHeight), info.bmWidth / width, grow) &&
                      ::ImageList_AddMasked(store_->list, strip, mask) >= 0;
    ::DeleteObject(strip);
    return made;
}

int CImageList::GetImageCount() const { return store_ ? ::ImageList_GetImageCount(store_->list) : 0; }

// --- CTreeCtrl

namespace {

// Longer names than this are read again into a larger buffer.
constexpr std::size_t kFirstTextBuffer = 260;
constexpr std::size_t kLongestText = 1 << 16;
// The part of an expand code that says what to do; the rest are flags.
constexpr UINT kExpandAction = TVE_COLLAPSE | TVE_EXPAND;

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return ::SendMessageA(window, message, wParam, lParam);
}

LPARAM ItemParam(HTREEITEM item) { return reinterpret_cast<LPARAM>(item); }

HTREEITEM Next(HWND window, HTREEITEM item, UINT which)
{
    return reinterpret_cast<HTREEITEM>(Send(window, TVM_GETNEXTITEM, which, ItemParam(item)));
}

HTREEITEM FirstChild(HWND window, HTREEITEM parent)
{
    return parent == nullptr || parent == TVI_ROOT ? Next(window, nullptr, TVGN_ROOT)
                                                   : Next(window, parent, TVGN_CHILD);
}

bool GetItem(HWND window, TVITEMA& item)
{
    return Send(window, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

std::string TextOf(HWND window, HTREEITEM item)
{
    if (window == nullptr || item == nullptr) {
        return {};
    }
    for (std::size_t size = kFirstTextBuffer;; size *= 2) {
        std::string text(size, '\0');
        TVITEMA fields{};
        fields.mask = TVIF_TEXT | TVIF_HANDLE;
        fields.hItem = item;
        fields.pszText = text.data();
        fields.cchTextMax = static_cast<int>(size);
        if (!GetItem(window, fields)) {
            return {};
        }
        // The system may answer with a text of its own instead of filling ours.
        const char* given = fields.pszText != nullptr ? fields.pszText : text.data();
        std::string read(given);
        // A text that filled the buffer may have been cut.
        if (read.size() + 1 < size || size >= kLongestText) {
            return read;
        }
    }
}

bool IsAncestor(HWND window, HTREEITEM ancestor, HTREEITEM item)
{
    for (HTREEITEM at = item != nullptr ? Next(window, item, TVGN_PARENT) : nullptr; at != nullptr;
         at = Next(window, at, TVGN_PARENT)) {
        if (at == ancestor) {
            return true;
        }
    }
    return false;
}

}  // namespace

namespace ui {

// The system finds a sorted node's place only by asking for every sibling's
// text, a message each: a folder of thousands of subfolders would take
// minutes. So the names of each parent's children are kept here, in the
// system's order, for the parents whose children were all inserted sorted
// (every parent the browser fills); a parent given a node any other way is
// forgotten and read again once at its next sorted insert.
struct TreeStore {
    struct Sibling {
        std::string text;
        HTREEITEM item;
    };
    struct Children {
        std::vector<Sibling> siblings;
        // In our order, so a place is found by halving.
        bool ordered = true;
    };
    std::unordered_map<HTREEITEM, Children> parents;
    // A collapse changes no selection, but the system moves its own onto
    // the node collapsed, and putting it back would open the node again: the
    // system's is let go and ours kept here, out of sight, until a node is
    // chosen or the node opens again.
    HTREEITEM hidden = nullptr;
};

}  // namespace ui

namespace {

HTREEITEM ParentKey(HTREEITEM parent) { return parent == nullptr ? TVI_ROOT : parent; }

// Forgets what is kept of the node's children and of every node under it,
// before the system deletes them (their handles may be given out again).
void ForgetUnder(HWND window, ui::TreeStore& store, HTREEITEM item)
{
    if (store.parents.empty()) {
        return;
    }
    std::vector<HTREEITEM> open{item};
    while (!open.empty()) {
        const HTREEITEM at = open.back();
        open.pop_back();
        store.parents.erase(at);
        for (HTREEITEM kid = FirstChild(window, at); kid != nullptr; kid = Next(window, kid, TVGN_NEXT)) {
            open.push_back(kid);
        }
    }
}

}  // namespace

CTreeCtrl::CTreeCtrl() : tree_(std::make_unique<ui::TreeStore>()) {}
CTreeCtrl::~CTreeCtrl() = default;

bool CTreeCtrl::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    if (parent == nullptr) {
        return false;
    }
    tree_->parents.clear();
    tree_->hidden = nullptr;
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&classes);
    const HWND window = ui::win::CreateControl(WS_EX_CLIENTEDGE, WC_TREEVIEWA, {}, style, rect, parent, id);
    if (window == nullptr) {
        return false;
    }
    // Names are bytes: the notifications carry them in the program's code page, as the items were given.
    Send(window, TVM_SETUNICODEFORMAT, FALSE);
    Bind(ui::win::HandleOf(window), id, style);
    link_->notify = [this](UINT message, WPARAM /*wParam*/, LPARAM lParam, LRESULT& result) {
        if (message != WM_NOTIFY) {
            return false;
        }
        // The A and W forms differ only in their texts, which are not read here.
        const auto* change = reinterpret_cast<const NMTREEVIEWA*>(lParam);
        switch (change->hdr.code) {
        case TVN_ITEMEXPANDINGA:
        case TVN_ITEMEXPANDINGW: {
            // Expand has asked already for the node it opens itself.
            const HTREEITEM item = change->itemNew.hItem;
            const bool refused = item != expanding_ && onItemExpanding &&
                                 onItemExpanding(item, change->action & kExpandAction);
            const UINT action = change->action & kExpandAction;
            const HTREEITEM before = GetSelectedItem();
            if (!refused && item != expanding_ && action == TVE_COLLAPSE &&
                IsAncestor(ui::win::HwndOf(*this), item, before)) {
                // The system moves the selection only after it has said the
                // node collapsed: the user's collapse is done here instead,
                // as a program's is, and the system's refused.
                expanding_ = item;
                Send(ui::win::HwndOf(*this), TVM_EXPAND, TVE_COLLAPSE, ItemParam(item));
                expanding_ = nullptr;
                Settle(item, action, before);
                result = TRUE;
                return true;
            }
            result = refused ? TRUE : FALSE;
            return true;
        }
        case TVN_ITEMEXPANDEDA:
        case TVN_ITEMEXPANDEDW:
            if (change->itemNew.hItem != expanding_) {
                Settle(change->itemNew.hItem, change->action & kExpandAction, nullptr);
            }
            result = 0;
            return true;
        case TVN_SELCHANGINGA:
        case TVN_SELCHANGINGW: {
            // The system moves the selection onto a node collapsed over it,
            // and onto the first node it shows when it is focused with none
            // (ours then being out of sight): neither is a choice, and ours
            // stays. A node chosen by the user or the program moves it.
            const HTREEITEM from = change->itemOld.hItem;
            const HTREEITEM to = change->itemNew.hItem;
            const bool bySystem = change->action == TVC_UNKNOWN && !selecting_ && to != nullptr;
            const bool kept = bySystem && (from == nullptr ? tree_->hidden != nullptr
                                                           : IsAncestor(ui::win::HwndOf(*this), to, from));
            result = kept ? TRUE : FALSE;
            return true;
        }
        case TVN_SELCHANGEDA:
        case TVN_SELCHANGEDW:
            if (!quiet_) {
                tree_->hidden = nullptr;
            }
            if (!quiet_ && onSelChanged) {
                onSelChanged(change->itemOld.hItem, change->itemNew.hItem);
            }
            result = 0;
            return true;
        default:
            return false;
        }
    };
    return true;
}

HTREEITEM CTreeCtrl::InsertItem(const TVINSERTSTRUCTA& insert)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return nullptr;
    }
    TVINSERTSTRUCTA given = insert;
    if (given.hParent == nullptr) {
        given.hParent = TVI_ROOT;
    }
    TVITEMA& item = given.item;
    if ((item.mask & TVIF_IMAGE) != 0 && (item.mask & TVIF_SELECTEDIMAGE) == 0) {
        // A node shows the same picture when selected unless told otherwise.
        item.mask |= TVIF_SELECTEDIMAGE;
        item.iSelectedImage = item.iImage;
    }
    const HTREEITEM key = ParentKey(given.hParent);
    if (given.hInsertAfter != TVI_SORT) {
        tree_->parents.erase(key);
        return reinterpret_cast<HTREEITEM>(Send(window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&given)));
    }
    const auto before = [this](const std::string& left, const std::string& right) {
        return less_ != nullptr ? less_(left, right) : ui::CompareNoCase(left, right) < 0;
    };
    auto [kept, fresh] = tree_->parents.try_emplace(key);
    ui::TreeStore::Children& children = kept->second;
    if (fresh) {
        for (HTREEITEM kid = FirstChild(window, given.hParent); kid != nullptr; kid = Next(window, kid, TVGN_NEXT)) {
            std::string name = TextOf(window, kid);
            children.ordered = children.ordered &&
                               (children.siblings.empty() || !before(name, children.siblings.back().text));
            children.siblings.push_back({std::move(name), kid});
        }
    }
    // The system's sort is not ours: after the last sibling not ordered after the new node.
    const bool named = (item.mask & TVIF_TEXT) != 0 && item.pszText != nullptr && item.pszText != LPSTR_TEXTCALLBACKA;
    std::string text = named ? std::string(item.pszText) : std::string();
    auto& siblings = children.siblings;
    const auto place =
        children.ordered
            ? std::upper_bound(siblings.begin(), siblings.end(), text,
                               [&](const std::string& name, const ui::TreeStore::Sibling& kid) {
                                   return before(name, kid.text);
                               })
            : std::find_if(siblings.begin(), siblings.end(),
                           [&](const ui::TreeStore::Sibling& kid) { return before(text, kid.text); });
    given.hInsertAfter = place == siblings.begin() ? TVI_FIRST : std::prev(place)->item;
    const auto made = reinterpret_cast<HTREEITEM>(Send(window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&given)));
    if (made != nullptr) {
        siblings.insert(place, {std::move(text), made});
    }
    return made;
}

bool CTreeCtrl::DeleteItem(HTREEITEM item)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || item == nullptr) {
        return false;
    }
    if (item == TVI_ROOT) {
        return DeleteAllItems();
    }
    ForgetUnder(window, *tree_, item);
    if (const auto kept = tree_->parents.find(ParentKey(GetParentItem(item))); kept != tree_->parents.end()) {
        auto& siblings = kept->second.siblings;
        siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                      [item](const ui::TreeStore::Sibling& kid) { return kid.item == item; }),
                       siblings.end());
    }
    // A deleted selection is let go silently: the system would select another node and report that.
    for (HTREEITEM at = GetSelectedItem(); at != nullptr; at = GetParentItem(at)) {
        if (at == item) {
            quiet_ = true;
            Send(window, TVM_SELECTITEM, TVGN_CARET, 0);
            quiet_ = false;
            tree_->hidden = nullptr;
            break;
        }
    }
    return Send(window, TVM_DELETEITEM, 0, ItemParam(item)) != FALSE;
}

bool CTreeCtrl::DeleteAllItems()
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return false;
    }
    tree_->parents.clear();
    tree_->hidden = nullptr;
    quiet_ = true;
    Send(window, TVM_SELECTITEM, TVGN_CARET, 0);
    quiet_ = false;
    return Send(window, TVM_DELETEITEM, 0, ItemParam(TVI_ROOT)) != FALSE;
}

bool CTreeCtrl::SetItem(const TVITEMA& item)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || item.hItem == nullptr) {
        return false;
    }
    if ((item.mask & TVIF_TEXT) != 0) {
        // A renamed node is out of its place among the kept names.
        tree_->parents.erase(ParentKey(GetParentItem(item.hItem)));
    }
    TVITEMA given = item;
    return Send(window, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&given)) != FALSE;
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const { return TextOf(ui::win::HwndOf(*this), item); }

LPARAM CTreeCtrl::GetItemData(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    TVITEMA fields{};
    fields.mask = TVIF_PARAM | TVIF_HANDLE;
    fields.hItem = item;
    return window != nullptr && item != nullptr && GetItem(window, fields) ? fields.lParam : 0;
}

bool CTreeCtrl::SetItemData(HTREEITEM item, LPARAM data)
{
    TVITEMA fields{};
    fields.mask = TVIF_PARAM | TVIF_HANDLE;
    fields.hItem = item;
    fields.lParam = data;
    return SetItem(fields);
}

bool CTreeCtrl::ItemHasChildren(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || item == nullptr) {
        return false;
    }
    TVITEMA fields{};
    fields.mask = TVIF_CHILDREN | TVIF_HANDLE;
    fields.hItem = item;
    return GetItem(window, fields) && fields.cChildren != 0;
}

HTREEITEM CTreeCtrl::GetRootItem() const
{
    const HWND window = ui::win::HwndOf(*this);
    return window != nullptr ? Next(window, nullptr, TVGN_ROOT) : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    return window != nullptr ? FirstChild(window, item) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    return window != nullptr && item != nullptr ? Next(window, item, TVGN_NEXT) : nullptr;
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    return window != nullptr && item != nullptr ? Next(window, item, TVGN_PREVIOUS) : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    return window != nullptr && item != nullptr && item != TVI_ROOT ? Next(window, item, TVGN_PARENT) : nullptr;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const
{
    const HWND window = ui::win::HwndOf(*this);
    const HTREEITEM caret = window != nullptr ? Next(window, nullptr, TVGN_CARET) : nullptr;
    return caret != nullptr ? caret : tree_->hidden;
}

void CTreeCtrl::Settle(HTREEITEM item, UINT action, HTREEITEM before)
{
    const HWND window = ui::win::HwndOf(*this);
    const auto quietly = [&](HTREEITEM select) {
        quiet_ = true;
        selecting_ = true;
        Send(window, TVM_SELECTITEM, TVGN_CARET, ItemParam(select));
        selecting_ = false;
        quiet_ = false;
    };
    if (action == TVE_COLLAPSE) {
        if (before != nullptr && GetSelectedItem() != before && IsAncestor(window, item, before)) {
            quietly(nullptr);
            tree_->hidden = before;
        }
        return;
    }
    // Back in sight once every node above it is open.
    const HTREEITEM hidden = tree_->hidden;
    if (action != TVE_EXPAND || hidden == nullptr || !IsAncestor(window, item, hidden)) {
        return;
    }
    for (HTREEITEM at = GetParentItem(hidden); at != nullptr; at = GetParentItem(at)) {
        if (!IsExpanded(at)) {
            return;
        }
    }
    quietly(hidden);
    tree_->hidden = nullptr;
}

int CTreeCtrl::GetCount() const
{
    const HWND window = ui::win::HwndOf(*this);
    return window != nullptr ? static_cast<int>(Send(window, TVM_GETCOUNT)) : 0;
}

bool CTreeCtrl::IsExpanded(HTREEITEM item) const
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || item == nullptr || item == TVI_ROOT) {
        return false;
    }
    return (static_cast<UINT>(Send(window, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED)) &
            TVIS_EXPANDED) != 0;
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || item == nullptr || item == TVI_ROOT) {
        return false;
    }
    const bool open = IsExpanded(item);
    UINT action = code & kExpandAction;
    if (action == TVE_TOGGLE) {
        action = open ? TVE_COLLAPSE : TVE_EXPAND;
    }
    if ((action != TVE_EXPAND && action != TVE_COLLAPSE) || (action == TVE_EXPAND) == open) {
        return false;
    }
    if (action == TVE_EXPAND && !ItemHasChildren(item)) {
        return false;
    }
    // The system asks only the first time a node is opened by a program; we ask every time.
    if (onItemExpanding && onItemExpanding(item, action)) {
        return false;
    }
    // The handler may have taken the node's button away (nothing under it): the system then leaves it closed.
    if ((code & TVE_COLLAPSERESET) != 0 && action == TVE_COLLAPSE) {
        ForgetUnder(window, *tree_, item);
    }
    const HTREEITEM before = GetSelectedItem();
    expanding_ = item;
    Send(window, TVM_EXPAND, action | (code & ~kExpandAction), ItemParam(item));
    expanding_ = nullptr;
    Settle(item, action, before);
    return true;
}

bool CTreeCtrl::SelectItem(HTREEITEM item)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return false;
    }
    selecting_ = true;
    const bool moved = Send(window, TVM_SELECTITEM, TVGN_CARET, ItemParam(item)) != FALSE;
    selecting_ = false;
    return moved;
}

CImageList* CTreeCtrl::SetImageList(CImageList* images)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return nullptr;
    }
    CImageList* before = images_;
    images_ = images;
    const HIMAGELIST list = images != nullptr && images->Store() != nullptr ? images->Store()->list : nullptr;
    Send(window, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(list));
    return before;
}

void CTreeCtrl::SetSortOrder(ui::NameOrder less)
{
    less_ = less;
    // Kept places follow the order they were found in.
    tree_->parents.clear();
}
