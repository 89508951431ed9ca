#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractListModel>
#include <QListView>

#include "platform/ui/ListBox.h"

// The Qt backend's list box window, for the backend and for tests.
namespace ui {

// The lines of one list box window, as bytes with their item data.
class ListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Line {
        std::string text;
        std::uintptr_t data = 0;
    };

    using Less = NameOrder;

    explicit ListBoxModel(QObject* parent, bool sorted) : QAbstractListModel(parent), sorted_(sorted) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    bool Sorted() const { return sorted_; }
    int Insert(int index, std::string text);
    void Clear();
    const std::vector<Line>& Lines() const { return lines_; }
    std::vector<Line>& MutableLines() { return lines_; }
    // While held, changes are gathered and the view learns of them at release.
    void Hold(bool hold);
    void SetOrder(Less less) { less_ = less; }

private:
    bool sorted_;
    Less less_ = nullptr;
    bool held_ = false;
    std::vector<Line> lines_;
};

// The list box window: a list view over its lines, drawing tab stops.
class ListBoxView : public QListView {
    Q_OBJECT
public:
    ListBoxView(QWidget* parent, DWORD style);
    ListBoxModel& Lines() { return *model_; }
    const ListBoxModel& Lines() const { return *model_; }
    void SetTabStops(std::vector<int> pixels);
    const std::vector<int>& TabStops() const { return tabStops_; }

protected:
    // Shift+F10 asks for the context menu, as the Menu key does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    ListBoxModel* model_;
    std::vector<int> tabStops_;
};

}  // namespace ui

namespace ui::qt {

// The list view of a list box; null while it has no window.
ListBoxView* ListViewOf(const CListBox& list);

}  // namespace ui::qt
