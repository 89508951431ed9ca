#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractItemModel>
#include <QPixmap>
#include <QTreeView>

#include "platform/threads/Window.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Controls.h"

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

struct TVITEMA {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    std::string text;
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

// Pictures of one size; white is drawn transparent when asked.
class CImageList {
public:
    bool Create(int width, int height, int initial, int grow);
    // Takes the pictures of a bitmap resource (ui::kTreeImagesBitmap...),
    // each `width` wide; pixels of `mask` become transparent.
    bool Create(UINT bitmapId, int width, int grow, COLORREF mask);
    // Adds the strip's pictures, each `width` wide, left to right; pixels of
    // `mask` become transparent. Returns the index of the first, or -1.
    int Add(const QPixmap& strip, QRgb mask);
    int GetImageCount() const { return static_cast<int>(images_.size()); }
    // A null pixmap for an index past the end.
    QPixmap Image(int index) const;
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<QPixmap> images_;
};

namespace ui {

// The backend's picture of a bitmap resource; null for an id it has none of.
QPixmap LoadBitmap(UINT id);

struct TreeNode {
    std::string text;
    int image = 0;
    int selectedImage = 0;
    int children = -1;  // -1: shown when it has nodes under it
    LPARAM data = 0;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> kids;
    int row = 0;
    bool rowsStale = false;  // the kids' rows need numbering again
};

class TreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TreeModel(QObject* parent);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    TreeNode& Root() { return root_; }
    TreeNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(TreeNode* node) const;
    int RowOf(TreeNode* node) const;
    TreeNode* Insert(TreeNode* parent, TreeNode* after, std::unique_ptr<TreeNode> node);
    void Remove(TreeNode* node);
    void Changed(TreeNode* node);

    const CImageList* images = nullptr;
    TreeNode* selected = nullptr;
    // The order of TVI_SORT; by default CompareNoCase, equal names in arrival order.
    bool (*less)(std::string_view, std::string_view) = nullptr;

private:
    mutable TreeNode root_;
};

// The tree window. The user's expanding goes through the control, so that
// "expanding" is raised before a node opens however it is opened.
class TreeView : public QTreeView {
    Q_OBJECT
public:
    TreeView(QWidget* parent, std::function<void(const QModelIndex&, UINT)> expand);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool OnButton(const QModelIndex& index, const QPoint& pos) const;
    std::function<void(const QModelIndex&, UINT)> expand_;
};

}  // namespace ui

// A tree view control: nodes kept as bytes in sorted or given position, an
// image list, an expand button by each node's children indicator, and two
// notifications that run synchronously on the dialog's thread.
class CTreeCtrl : public CWnd {
public:
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
    void SetSortOrder(bool (*less)(std::string_view, std::string_view));

    // TVN_ITEMEXPANDING: before a node expands or collapses; true refuses.
    std::function<bool(HTREEITEM item, UINT action)> onItemExpanding;
    // TVN_SELCHANGED: after the selection moved.
    std::function<void(HTREEITEM oldItem, HTREEITEM newItem)> onSelChanged;

    ui::TreeView* View() const;
    ui::TreeModel* Model() const;

private:
    bool quiet_ = false;
};
