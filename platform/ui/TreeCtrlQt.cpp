#include "platform/ui/TreeCtrlQt.h"

#include <algorithm>

#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

// --- CImageList

CImageList::CImageList() = default;
CImageList::~CImageList() = default;

bool CImageList::Create(int width, int height, int initial, int /*grow*/)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    width_ = width;
    height_ = height;
    store_ = std::make_unique<ui::ImageStore>();
    store_->images.reserve(static_cast<std::size_t>(std::max(initial, 0)));
    return true;
}

bool CImageList::Create(UINT bitmapId, int width, int grow, COLORREF mask)
{
    const QPixmap strip = ui::LoadBitmap(bitmapId);
    if (strip.isNull() || width <= 0 || !Create(width, strip.height(), strip.width() / width, grow)) {
        return false;
    }
    return ui::qt::AddStrip(*this, strip, qRgb(GetRValue(mask), GetGValue(mask), GetBValue(mask))) >= 0;
}

int CImageList::GetImageCount() const { return store_ ? static_cast<int>(store_->images.size()) : 0; }

int ui::qt::AddStrip(CImageList& list, const QPixmap& strip, QRgb mask)
{
    const int width = list.Width();
    if (strip.isNull() || width <= 0 || list.Store() == nullptr) {
        return -1;
    }
    const int first = list.GetImageCount();
    for (int x = 0; x + width <= strip.width(); x += width) {
        QPixmap image = strip.copy(x, 0, width, list.Height());
        image.setMask(image.createMaskFromColor(QColor::fromRgb(mask), Qt::MaskInColor));
        list.Store()->images.push_back(image);
    }
    return first;
}

QPixmap ui::qt::ImageOf(const CImageList& list, int index)
{
    if (index < 0 || index >= list.GetImageCount()) {
        return {};
    }
    return list.Store()->images[static_cast<std::size_t>(index)];
}

namespace ui {

// --- TreeModel

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent) {}

TreeNode* TreeModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TreeNode*>(index.internalPointer()) : &root_;
}

int TreeModel::RowOf(TreeNode* node) const
{
    TreeNode* parent = node->parent;
    if (parent != nullptr && parent->rowsStale) {
        int row = 0;
        for (const auto& kid : parent->kids) {
            kid->row = row++;
        }
        parent->rowsStale = false;
    }
    return node->row;
}

QModelIndex TreeModel::IndexOf(TreeNode* node) const
{
    if (node == nullptr || node == &root_) {
        return {};
    }
    return createIndex(RowOf(node), 0, node);
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const TreeNode* node = NodeOf(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(node->kids.size())) {
        return {};
    }
    return createIndex(row, 0, node->kids[static_cast<std::size_t>(row)].get());
}

QModelIndex TreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid()) {
        return {};
    }
    return IndexOf(NodeOf(child)->parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : static_cast<int>(NodeOf(parent)->kids.size());
}

int TreeModel::columnCount(const QModelIndex&) const { return 1; }

bool TreeModel::hasChildren(const QModelIndex& parent) const
{
    const TreeNode* node = NodeOf(parent);
    if (node == &root_) {
        return !node->kids.empty();
    }
    return node->children > 0 || (node->children < 0 && !node->kids.empty());
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    const TreeNode* node = NodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return DrawnName(node->text);
    case Qt::DecorationRole:
        if (images != nullptr) {
            const QPixmap image = qt::ImageOf(*images, node == selected ? node->selectedImage : node->image);
            if (!image.isNull()) {
                return image;
            }
        }
        return {};
    default:
        return {};
    }
}

TreeNode* TreeModel::Insert(TreeNode* parent, TreeNode* after, std::unique_ptr<TreeNode> node)
{
    auto& kids = parent->kids;
    std::size_t at = kids.size();
    if (after == TVI_FIRST) {
        at = 0;
    } else if (after == TVI_SORT) {
        const auto order = less;
        const auto place = std::upper_bound(kids.begin(), kids.end(), node->text,
                                            [order](const std::string& text, const std::unique_ptr<TreeNode>& kid) {
                                                return order != nullptr ? order(text, kid->text)
                                                                        : CompareNoCase(text, kid->text) < 0;
                                            });
        at = static_cast<std::size_t>(place - kids.begin());
    } else if (after != TVI_LAST && after != nullptr && after->parent == parent) {
        at = static_cast<std::size_t>(RowOf(after)) + 1;
    }
    node->parent = parent;
    node->row = static_cast<int>(at);
    TreeNode* inserted = node.get();
    const int row = static_cast<int>(at);
    beginInsertRows(IndexOf(parent), row, row);
    kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(at), std::move(node));
    if (at + 1 != kids.size()) {
        parent->rowsStale = true;
    }
    endInsertRows();
    return inserted;
}

void TreeModel::Remove(TreeNode* node)
{
    TreeNode* parent = node->parent;
    const int row = RowOf(node);
    beginRemoveRows(IndexOf(parent), row, row);
    parent->kids.erase(parent->kids.begin() + row);
    parent->rowsStale = true;
    endRemoveRows();
}

void TreeModel::Changed(TreeNode* node)
{
    if (node != nullptr && node != &root_) {
        const QModelIndex at = IndexOf(node);
        emit dataChanged(at, at);
    }
}

// --- TreeView

TreeView::TreeView(QWidget* parent, std::function<void(const QModelIndex&, UINT)> expand)
    : QTreeView(parent), expand_(std::move(expand))
{
    setHeaderHidden(true);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAnimated(false);
}

bool TreeView::OnButton(const QModelIndex& index, const QPoint& pos) const
{
    if (!index.isValid() || !model()->hasChildren(index)) {
        return false;
    }
    const QRect rect = visualRect(index);
    return pos.x() < rect.left() && pos.x() >= rect.left() - indentation();
}

void TreeView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && OnButton(index, event->position().toPoint())) {
        expand_(index, TVE_TOGGLE);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && !OnButton(index, event->position().toPoint())) {
        expand_(index, TVE_TOGGLE);
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void TreeView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
        const bool open = isExpanded(current);
        const bool has = model()->hasChildren(current);
        switch (event->key()) {
        case Qt::Key_Right:
            if (has && !open) {
                expand_(current, TVE_EXPAND);
                return;
            }
            break;
        case Qt::Key_Left:
            if (open) {
                expand_(current, TVE_COLLAPSE);
                return;
            }
            break;
        case Qt::Key_Plus:
            expand_(current, TVE_EXPAND);
            return;
        case Qt::Key_Minus:
            expand_(current, TVE_COLLAPSE);
            return;
        default:
            break;
        }
    }
    QTreeView::keyPressEvent(event);
}

}  // namespace ui

// --- CTreeCtrl

ui::TreeView* ui::qt::TreeViewOf(const CTreeCtrl& tree) { return qobject_cast<TreeView*>(WidgetOf(tree)); }

ui::TreeModel* ui::qt::TreeModelOf(const CTreeCtrl& tree)
{
    TreeView* view = TreeViewOf(tree);
    return view != nullptr ? static_cast<TreeModel*>(view->model()) : nullptr;
}

namespace {

ui::TreeView* View(const CTreeCtrl& tree) { return ui::qt::TreeViewOf(tree); }
ui::TreeModel* Model(const CTreeCtrl& tree) { return ui::qt::TreeModelOf(tree); }

// The text of an item's fields, up to its terminating zero; none for none.
std::string TextOf(const TVITEMA& item) { return item.pszText != nullptr ? std::string(item.pszText) : std::string(); }

}  // namespace

namespace ui {
// The Qt backend keeps all of a tree in its model.
struct TreeStore {};
}  // namespace ui

CTreeCtrl::CTreeCtrl() = default;
CTreeCtrl::~CTreeCtrl() = default;

bool CTreeCtrl::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    if (parent == nullptr) {
        return false;
    }
    auto* view = new ui::TreeView(ui::qt::WidgetOf(parent), [this](const QModelIndex& index, UINT code) {
        Expand(Model(*this)->NodeOf(index), code);
    });
    auto* model = new ui::TreeModel(view);
    // The order may have been set before the window was made.
    model->less = less_;
    view->setModel(model);
    view->setRootIsDecorated((style & TVS_LINESATROOT) != 0);
    view->setDragEnabled((style & TVS_DISABLEDRAGDROP) == 0);
    view->setGeometry(ui::qt::ToQRect(rect));
    Bind(ui::qt::HandleOf(view), id, style);
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, view,
                     [this](const QModelIndex& now, const QModelIndex& before) {
                         ui::TreeModel* m = Model(*this);
                         ui::TreeNode* oldNode = before.isValid() ? m->NodeOf(before) : nullptr;
                         ui::TreeNode* newNode = now.isValid() ? m->NodeOf(now) : nullptr;
                         m->selected = newNode;
                         m->Changed(oldNode);
                         m->Changed(newNode);
                         if (!quiet_ && onSelChanged) {
                             onSelChanged(oldNode, newNode);
                         }
                     });
    return true;
}

HTREEITEM CTreeCtrl::InsertItem(const TVINSERTSTRUCTA& insert)
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr) {
        return nullptr;
    }
    ui::TreeNode* parent = (insert.hParent == nullptr || insert.hParent == TVI_ROOT) ? &model->Root() : insert.hParent;
    auto node = std::make_unique<ui::TreeNode>();
    const TVITEMA& item = insert.item;
    if ((item.mask & TVIF_TEXT) != 0) {
        node->text = TextOf(item);
    }
    if ((item.mask & TVIF_IMAGE) != 0) {
        node->image = item.iImage;
    }
    node->selectedImage = (item.mask & TVIF_SELECTEDIMAGE) != 0 ? item.iSelectedImage : node->image;
    if ((item.mask & TVIF_CHILDREN) != 0) {
        node->children = item.cChildren;
    }
    if ((item.mask & TVIF_PARAM) != 0) {
        node->data = item.lParam;
    }
    return model->Insert(parent, insert.hInsertAfter, std::move(node));
}

bool CTreeCtrl::DeleteItem(HTREEITEM item)
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr || item == nullptr) {
        return false;
    }
    if (item == TVI_ROOT) {
        return DeleteAllItems();
    }
    // A deleted selection is let go silently: nothing is selected after it.
    for (ui::TreeNode* at = model->selected; at != nullptr; at = at->parent) {
        if (at == item) {
            quiet_ = true;
            View(*this)->selectionModel()->clear();
            model->selected = nullptr;
            quiet_ = false;
            break;
        }
    }
    model->Remove(item);
    return true;
}

bool CTreeCtrl::DeleteAllItems()
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr) {
        return false;
    }
    while (!model->Root().kids.empty()) {
        DeleteItem(model->Root().kids.back().get());
    }
    return true;
}

bool CTreeCtrl::SetItem(const TVITEMA& item)
{
    ui::TreeModel* model = Model(*this);
    ui::TreeNode* node = item.hItem;
    if (model == nullptr || node == nullptr) {
        return false;
    }
    if ((item.mask & TVIF_TEXT) != 0) {
        node->text = TextOf(item);
    }
    if ((item.mask & TVIF_IMAGE) != 0) {
        node->image = item.iImage;
    }
    if ((item.mask & TVIF_SELECTEDIMAGE) != 0) {
        node->selectedImage = item.iSelectedImage;
    }
    if ((item.mask & TVIF_PARAM) != 0) {
        node->data = item.lParam;
    }
    if ((item.mask & TVIF_CHILDREN) != 0 && node->children != item.cChildren) {
        // The button is drawn from the model's answer; tell the view it changed.
        model->layoutAboutToBeChanged();
        node->children = item.cChildren;
        model->layoutChanged();
    }
    model->Changed(node);
    return true;
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const { return item != nullptr ? item->text : std::string(); }

LPARAM CTreeCtrl::GetItemData(HTREEITEM item) const { return item != nullptr ? item->data : 0; }

bool CTreeCtrl::SetItemData(HTREEITEM item, LPARAM data)
{
    if (item == nullptr) {
        return false;
    }
    item->data = data;
    return true;
}

bool CTreeCtrl::ItemHasChildren(HTREEITEM item) const
{
    ui::TreeModel* model = Model(*this);
    return model != nullptr && item != nullptr && model->hasChildren(model->IndexOf(item));
}

HTREEITEM CTreeCtrl::GetRootItem() const
{
    ui::TreeModel* model = Model(*this);
    return (model == nullptr || model->Root().kids.empty()) ? nullptr : model->Root().kids.front().get();
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr) {
        return nullptr;
    }
    ui::TreeNode* node = (item == nullptr || item == TVI_ROOT) ? &model->Root() : item;
    return node->kids.empty() ? nullptr : node->kids.front().get();
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr || item == nullptr || item->parent == nullptr) {
        return nullptr;
    }
    const auto row = static_cast<std::size_t>(model->RowOf(item)) + 1;
    return row < item->parent->kids.size() ? item->parent->kids[row].get() : nullptr;
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr || item == nullptr || item->parent == nullptr) {
        return nullptr;
    }
    const int row = model->RowOf(item);
    return row > 0 ? item->parent->kids[static_cast<std::size_t>(row - 1)].get() : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr || item == nullptr || item->parent == &model->Root()) {
        return nullptr;
    }
    return item->parent;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const
{
    ui::TreeModel* model = Model(*this);
    return model != nullptr ? model->selected : nullptr;
}

int CTreeCtrl::GetCount() const
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr) {
        return 0;
    }
    int count = 0;
    std::vector<const ui::TreeNode*> open{&model->Root()};
    while (!open.empty()) {
        const ui::TreeNode* node = open.back();
        open.pop_back();
        for (const auto& kid : node->kids) {
            ++count;
            open.push_back(kid.get());
        }
    }
    return count;
}

bool CTreeCtrl::IsExpanded(HTREEITEM item) const
{
    ui::TreeView* view = View(*this);
    return view != nullptr && item != nullptr && view->isExpanded(Model(*this)->IndexOf(item));
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code)
{
    ui::TreeView* view = View(*this);
    if (view == nullptr || item == nullptr || item == TVI_ROOT) {
        return false;
    }
    const bool open = IsExpanded(item);
    UINT action = code & 0x3;
    if (action == TVE_TOGGLE) {
        action = open ? TVE_COLLAPSE : TVE_EXPAND;
    }
    if ((action == TVE_EXPAND) == open || (action != TVE_EXPAND && action != TVE_COLLAPSE)) {
        return false;
    }
    if (action == TVE_EXPAND && !ItemHasChildren(item)) {
        return false;
    }
    if (onItemExpanding && onItemExpanding(item, action)) {
        return false;
    }
    // The handler may have taken the node's button away (nothing under it).
    const QModelIndex index = Model(*this)->IndexOf(item);
    if (action == TVE_EXPAND) {
        if (!item->kids.empty()) {
            view->expand(index);
        }
    } else {
        view->collapse(index);
    }
    return true;
}

bool CTreeCtrl::SelectItem(HTREEITEM item)
{
    ui::TreeView* view = View(*this);
    if (view == nullptr) {
        return false;
    }
    if (item == nullptr) {
        view->selectionModel()->clear();
        return true;
    }
    const QModelIndex index = Model(*this)->IndexOf(item);
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    view->scrollTo(index);
    return true;
}

CImageList* CTreeCtrl::SetImageList(CImageList* images)
{
    ui::TreeModel* model = Model(*this);
    if (model == nullptr) {
        return nullptr;
    }
    auto* before = const_cast<CImageList*>(model->images);
    model->images = images;
    if (images != nullptr) {
        View(*this)->setIconSize(QSize(images->Width(), images->Height()));
    }
    return before;
}

void CTreeCtrl::SetSortOrder(ui::NameOrder less)
{
    less_ = less;
    if (ui::TreeModel* model = Model(*this)) {
        model->less = less;
    }
}
