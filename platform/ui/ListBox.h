#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractListModel>
#include <QListView>

#include "platform/ui/Controls.h"
#include "platform/ui/Geometry.h"

constexpr DWORD LBS_NOTIFY = 0x0001;
constexpr DWORD LBS_SORT = 0x0002;
constexpr DWORD LBS_MULTIPLESEL = 0x0008;
constexpr DWORD LBS_USETABSTOPS = 0x0080;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x0100;
constexpr DWORD LBS_EXTENDEDSEL = 0x0800;
constexpr int LB_ERR = -1;

namespace ui {

// The lines of one list box window, as bytes with their item data.
class ListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Line {
        std::string text;
        std::uintptr_t data = 0;
    };

    using Less = bool (*)(std::string_view, std::string_view);

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

// A list box. Sorted or not from its creation (LBS_SORT): a sorted list
// places each new line by CompareNoCase of the whole text. Notifications go
// to the control object, so a window re-created under it keeps them.
class CListBox : public CWnd {
public:
    bool Create(DWORD style, const RECT& rect, CDialog* parent, int id);
    // Makes a list box with `style` in the place of `other`'s window: its
    // parent, place, id and font, stacked under it and next to it in the tab
    // order, and hidden until shown; false when `other` has no window.
    bool CreateInPlaceOf(const CListBox& other, DWORD style);
    // Binds the object to `window`, a list box made by Create of another object.
    void Attach(CListBox& from);
    // Destroys the window; the object stays, unbound.
    void DestroyWindow();

    int AddString(const std::string& text);
    int InsertString(int index, const std::string& text);
    void ResetContent();
    int GetCount() const;
    int GetText(int index, std::string& text) const;
    std::string GetText(int index) const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetSel(int index) const;
    int SetSel(int index, bool select);
    std::uintptr_t GetItemData(int index) const;
    int SetItemData(int index, std::uintptr_t data);
    // The first line equal to `text`, letter case ignored, from index 0; LB_ERR when none.
    int FindStringExact(int startAfter, const std::string& text) const;
    // In dialog units of the list's font.
    bool SetTabStops(const std::vector<int>& dialogUnits);
    // WM_SETREDRAW: while off, the lines change without being drawn or laid out.
    void SetRedraw(bool redraw);
    // Changes the style noted for the next creation (LBS_SORT takes effect only then).
    void ModifyStyle(DWORD remove, DWORD add);
    // The order of a sorted list, kept for every window made under this
    // object; by default CompareNoCase, equal lines in arrival order.
    void SetSortOrder(ui::ListBoxModel::Less less);

    std::function<void()> onSelChange;  // LBN_SELCHANGE, from the user only
    std::function<void()> onDblClk;     // LBN_DBLCLK
    // A right click on the list, at this point of the screen.
    std::function<void(POINT screen)> onContextMenu;

private:
    ui::ListBoxView* View() const;
    void Connect(ui::ListBoxView* view);
    void Disconnect();

    // Only these are cut when the window moves to another object: the view
    // repaints a changed selection through its own connections to the same
    // signals.
    std::vector<QMetaObject::Connection> connections_;
    bool quiet_ = false;
    ui::ListBoxModel::Less less_ = nullptr;
};
