#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemModel>
#include <QPixmap>
#include <QTreeView>

#include "platform/ui/TreeCtrl.h"

// The Qt backend's tree and image list, for the backend and for tests.
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

// What the Qt backend keeps of an image list: one picture per image.
struct ImageStore {
    std::vector<QPixmap> images;
};

}  // namespace ui

namespace ui::qt {

// Adds the strip's pictures, each as wide as the list's, left to right;
// pixels of `mask` become transparent. The index of the first, or -1.
int AddStrip(CImageList& list, const QPixmap& strip, QRgb mask);
// A null pixmap for an index past the end.
QPixmap ImageOf(const CImageList& list, int index);

TreeView* TreeViewOf(const CTreeCtrl& tree);
TreeModel* TreeModelOf(const CTreeCtrl& tree);

}  // namespace ui::qt
