#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/threads/Window.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Names.h"

namespace ui {
// The backend's pictures of an image list.
struct ImageStore;
// What a backend keeps of a tree beside the window's own nodes.
struct TreeStore;
}  // namespace ui

#ifndef _WIN32  // on Windows these are the system's own (<commctrl.h>)
namespace ui {
struct TreeNode;
}
using HTREEITEM = ui::TreeNode*;

// The framework's special positions, with its values.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));
inline const HTREEITEM TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFD));

constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_IMAGE = 0x0002;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIF_STATE = 0x0008;
constexpr UINT TVIF_HANDLE = 0x0010;
constexpr UINT TVIF_SELECTEDIMAGE = 0x0020;
constexpr UINT TVIF_CHILDREN = 0x0040;

constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;

constexpr UINT TVGN_CARET = 0x0009;

constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_DISABLEDRAGDROP = 0x0010;
constexpr DWORD TVS_SHOWSELALWAYS = 0x0020;

// An item's fields as the system's tree takes them; the text is read up to
// its terminating zero and not kept.
struct TVITEMA {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    UINT state = 0;
    UINT stateMask = 0;
    LPSTR pszText = nullptr;
    int cchTextMax = 0;
    int iImage = 0;
    int iSelectedImage = 0;
    int cChildren = 0;
    LPARAM lParam = 0;
};

struct TVINSERTSTRUCTA {
    HTREEITEM hParent = nullptr;
    HTREEITEM hInsertAfter = nullptr;
    TVITEMA item;
};
#endif

// Pictures of one size; white is drawn transparent when asked.
class CImageList {
public:
    bool Create(int width, int height, int initial, int grow);
    // Takes the pictures of a bitmap resource (ui::kTreeImagesBitmap...),
    // each `width` wide; pixels of `mask` become transparent.
    bool Create(UINT bitmapId, int width, int grow, COLORREF mask);
    int GetImageCount() const;
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The backend's pictures; null before Create.
    ui::ImageStore* Store() const { return store_.get(); }

    CImageList();
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

private:
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<ui::ImageStore> store_;
};


// A tree view control: nodes kept as bytes in sorted or given position, an
// image list, an expand button by each node's children indicator, and two
// notifications that run synchronously on the dialog's thread.
class CTreeCtrl : public CWnd {
public:
    CTreeCtrl();
    ~CTreeCtrl() override;

    bool Create(DWORD style, const RECT& rect, CDialog* parent, int id);

    HTREEITEM InsertItem(const TVINSERTSTRUCTA& insert);
    HTREEITEM InsertItem(const std::string& text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    bool DeleteItem(HTREEITEM item);
    bool DeleteAllItems();
    bool SetItem(const TVITEMA& item);
    std::string GetItemText(HTREEITEM item) const;
    LPARAM GetItemData(HTREEITEM item) const;
    bool SetItemData(HTREEITEM item, LPARAM data);
    bool ItemHasChildren(HTREEITEM item) const;

    HTREEITEM GetRootItem() const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetSelectedItem() const;
    int GetCount() const;

    // Raises "expanding" first; the handler may refuse (true).
    bool Expand(HTREEITEM item, UINT code);
    bool IsExpanded(HTREEITEM item) const;
    // Makes the item the selected one; "selection changed" follows at once.
    bool SelectItem(HTREEITEM item);
    CImageList* SetImageList(CImageList* images);
    void SetSortOrder(ui::NameOrder less);

    // TVN_ITEMEXPANDING: before a node expands or collapses; true refuses.
    std::function<bool(HTREEITEM item, UINT action)> onItemExpanding;
    // TVN_SELCHANGED: after the selection moved.
    std::function<void(HTREEITEM oldItem, HTREEITEM newItem)> onSelChanged;

private:
    bool quiet_ = false;
    // What a backend keeps in the object rather than in the window: the
    // order is set before the window is made.
    ui::NameOrder less_ = nullptr;
    CImageList* images_ = nullptr;
    // The node whose "expanding" Expand has raised already.
    HTREEITEM expanding_ = nullptr;
    // Keeps the selection where a collapse or an expand left it as the
    // user sees it (a backend's own; the Qt one needs none).
    void Settle(HTREEITEM item, UINT action, HTREEITEM before);

    // Set while SelectItem moves the selection as asked.
    bool selecting_ = false;
    std::unique_ptr<ui::TreeStore> tree_;
};
