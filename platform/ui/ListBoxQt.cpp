#include "platform/ui/ListBoxQt.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "platform/ui/DialogUnits.h"
#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

namespace ui {

int ListBoxModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(lines_.size())) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return DrawnName(lines_[static_cast<std::size_t>(index.row())].text);
    }
    return {};
}

int ListBoxModel::Insert(int index, std::string text)
{
    const int count = static_cast<int>(lines_.size());
    if (sorted_) {
        // After the lines that compare equal, as the sorted list box does.
        const Less less = less_;
        const auto at = std::upper_bound(lines_.begin(), lines_.end(), text, [less](const std::string& t, const Line& l) {
            return less != nullptr ? less(t, l.text) : CompareNoCase(t, l.text) < 0;
        });
        index = static_cast<int>(at - lines_.begin());
    } else if (index < 0 || index > count) {
        index = count;
    }
    if (!held_) {
        beginInsertRows(QModelIndex(), index, index);
    }
    lines_.insert(lines_.begin() + index, Line{std::move(text), 0});
    if (!held_) {
        endInsertRows();
    }
    return index;
}

void ListBoxModel::Clear()
{
    if (!held_) {
        beginResetModel();
    }
    lines_.clear();
    if (!held_) {
        endResetModel();
    }
}

void ListBoxModel::Hold(bool hold)
{
    if (hold == held_) {
        return;
    }
    if (hold) {
        beginResetModel();
    } else {
        endResetModel();
    }
    held_ = hold;
}

namespace {

// Draws a line's tab-separated fields at the list's tab stops.
class TabStopDelegate : public QStyledItemDelegate {
public:
    TabStopDelegate(ListBoxView* view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (view_->TabStops().empty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();
        const QWidget* widget = item.widget;
        QStyle* style = widget != nullptr ? widget->style() : nullptr;
        if (style != nullptr) {
            style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        }
        const QRect area = style != nullptr ? style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget)
                                            : item.rect;
        QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
        QList<qreal> stops;
        for (const int stop : view_->TabStops()) {
            stops.append(stop);
        }
        textOption.setTabArray(stops);
        textOption.setWrapMode(QTextOption::NoWrap);
        painter->save();
        painter->setFont(item.font);
        painter->setPen(item.palette.color(item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                           item.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                : QPalette::Text));
        painter->drawText(QRectF(area), text, textOption);
        painter->restore();
    }

private:
    ListBoxView* view_;
};

}  // namespace

ListBoxView::ListBoxView(QWidget* parent, DWORD style)
    : QListView(parent), model_(new ListBoxModel(this, (style & LBS_SORT) != 0))
{
    setModel(model_);
    setUniformItemSizes(true);
    setSelectionMode((style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0 ? QAbstractItemView::ExtendedSelection
                                                                        : QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy((style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    if ((style & LBS_USETABSTOPS) != 0) {
        setItemDelegate(new TabStopDelegate(this));
    }
}

void ListBoxView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QRect line = visualRect(currentIndex());
        const QPoint at = line.isValid() ? line.center() : QPoint(0, 0);
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport(), &menu);
        return;
    }
    QListView::keyPressEvent(event);
}

void ListBoxView::SetTabStops(std::vector<int> pixels)
{
    tabStops_ = std::move(pixels);
    viewport()->update();
}

}  // namespace ui

// --- CListBox

ui::ListBoxView* ui::qt::ListViewOf(const CListBox& list) { return qobject_cast<ListBoxView*>(WidgetOf(list)); }

namespace {

ui::ListBoxView* View(const CListBox& list) { return ui::qt::ListViewOf(list); }

}  // namespace

bool CListBox::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    if (parent == nullptr) {
        return false;
    }
    auto* view = new ui::ListBoxView(ui::qt::WidgetOf(parent), style);
    view->Lines().SetOrder(less_);
    view->setGeometry(ui::qt::ToQRect(rect));
    Bind(ui::qt::HandleOf(view), id, style);
    Connect();
    return true;
}

bool CListBox::CreateInPlaceOf(const CListBox& other, DWORD style)
{
    QWidget* old = ui::qt::WidgetOf(other);
    // Every list box is made on a dialog.
    auto* host = old != nullptr ? ui::qt::DialogOf(old->parentWidget()) : nullptr;
    if (host == nullptr) {
        return false;
    }
    // The new list takes the old one's place in the tab order, after the
    // nearest widget before it that can hold the focus: setTabOrder ignores
    // one that cannot (a list's own scroll bar), and the new list would be
    // reached last.
    QWidget* before = old->previousInFocusChain();
    while (before != old && (before->focusPolicy() == Qt::NoFocus || old->isAncestorOf(before))) {
        before = before->previousInFocusChain();
    }
    if (!Create(style, ui::qt::ToRect(old->geometry()), host, other.GetDlgCtrlID())) {
        return false;
    }
    QWidget* made = ui::qt::WidgetOf(*this);
    made->setFont(old->font());
    made->stackUnder(old);
    if (before != nullptr && before != old) {
        QWidget::setTabOrder(before, made);
    }
    return true;
}

void CListBox::Connect()
{
    ui::ListBoxView* view = View(*this);
    // Only these are cut when the window moves to another object: the view
    // repaints a changed selection through its own connections to the same
    // signals.
    std::vector<QMetaObject::Connection>& connections = link_->connections;
    connections.push_back(
        QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, view, [this] {
            if (!quiet_ && (style_ & LBS_NOTIFY) != 0 && onSelChange) {
                onSelChange();
            }
        }));
    connections.push_back(QObject::connect(view, &QListView::doubleClicked, view, [this] {
        if ((style_ & LBS_NOTIFY) != 0 && onDblClk) {
            onDblClk();
        }
    }));
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connections.push_back(
        QObject::connect(view, &QWidget::customContextMenuRequested, view, [this, view](const QPoint& at) {
            if (onContextMenu) {
                const QModelIndex line = view->indexAt(at);
                if (line.isValid()) {
                    SetCurSel(line.row());
                }
                const QPoint screen = view->viewport()->mapToGlobal(at);
                onContextMenu(POINT{screen.x(), screen.y()});
            }
        }));
}

void CListBox::Disconnect()
{
    if (!link_) {
        return;
    }
    for (const QMetaObject::Connection& connection : link_->connections) {
        QObject::disconnect(connection);
    }
    link_->connections.clear();
}

void CListBox::Attach(CListBox& from)
{
    ui::ListBoxView* view = View(from);
    from.Disconnect();
    from.link_.reset();
    if (view == nullptr) {
        return;
    }
    Disconnect();
    Bind(ui::qt::HandleOf(view), from.id_, from.style_);
    less_ = from.less_;
    view->Lines().SetOrder(less_);
    Connect();
}

void CListBox::DestroyWindow()
{
    Disconnect();
    delete ui::qt::WidgetOf(*this);
    link_.reset();
}

void CListBox::ModifyStyle(DWORD remove, DWORD add)
{
    // The window keeps the style it was made with; the object reports the new one.
    style_ = (style_ & ~remove) | add;
}

void CListBox::SetSortOrder(ui::NameOrder less)
{
    less_ = less;
    if (ui::ListBoxView* view = View(*this)) {
        view->Lines().SetOrder(less);
    }
}

int CListBox::AddString(const std::string& text) { return InsertString(-1, text); }

int CListBox::InsertString(int index, const std::string& text)
{
    ui::ListBoxView* view = View(*this);
    if (view == nullptr) {
        return LB_ERR;
    }
    const int selected = GetCurSel();
    const int at = view->Lines().Insert(index, text);
    if (selected >= at && !view->Lines().Sorted()) {
        // The selected line moved down one place; so does its selection.
        quiet_ = true;
        view->setCurrentIndex(view->model()->index(selected + 1, 0));
        quiet_ = false;
    }
    return at;
}

void CListBox::ResetContent()
{
    if (ui::ListBoxView* view = View(*this)) {
        quiet_ = true;
        view->Lines().Clear();
        view->selectionModel()->clear();
        quiet_ = false;
    }
}

int CListBox::GetCount() const
{
    const ui::ListBoxView* view = View(*this);
    return view == nullptr ? LB_ERR : static_cast<int>(view->Lines().Lines().size());
}

int CListBox::GetText(int index, std::string& text) const
{
    const ui::ListBoxView* view = View(*this);
    if (view == nullptr || index < 0 || index >= GetCount()) {
        return LB_ERR;
    }
    text = view->Lines().Lines()[static_cast<std::size_t>(index)].text;
    return static_cast<int>(text.size());
}

int CListBox::GetCurSel() const
{
    const ui::ListBoxView* view = View(*this);
    if (view == nullptr) {
        return LB_ERR;
    }
    const QModelIndex current = view->selectionModel()->currentIndex();
    if (!current.isValid() || !view->selectionModel()->isSelected(current) || current.row() >= GetCount()) {
        return LB_ERR;
    }
    return current.row();
}

int CListBox::SetCurSel(int index)
{
    ui::ListBoxView* view = View(*this);
    if (view == nullptr) {
        return LB_ERR;
    }
    quiet_ = true;
    if (index < 0 || index >= GetCount()) {
        view->selectionModel()->clear();
        quiet_ = false;
        return LB_ERR;
    }
    const QModelIndex at = view->model()->index(index, 0);
    view->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
    view->scrollTo(at);
    quiet_ = false;
    return index;
}

int CListBox::GetSel(int index) const
{
    const ui::ListBoxView* view = View(*this);
    if (view == nullptr || index < 0 || index >= GetCount()) {
        return LB_ERR;
    }
    return view->selectionModel()->isSelected(view->model()->index(index, 0)) ? 1 : 0;
}

int CListBox::SetSel(int index, bool select)
{
    ui::ListBoxView* view = View(*this);
    if (view == nullptr || index < 0 || index >= GetCount()) {
        return LB_ERR;
    }
    quiet_ = true;
    view->selectionModel()->select(view->model()->index(index, 0),
                                   select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
    quiet_ = false;
    return 0;
}

std::uintptr_t CListBox::GetItemData(int index) const
{
    const ui::ListBoxView* view = View(*this);
    if (view == nullptr || index < 0 || index >= GetCount()) {
        return static_cast<std::uintptr_t>(LB_ERR);
    }
    return view->Lines().Lines()[static_cast<std::size_t>(index)].data;
}

int CListBox::SetItemData(int index, std::uintptr_t data)
{
    ui::ListBoxView* view = View(*this);
    if (view == nullptr || index < 0 || index >= GetCount()) {
        return LB_ERR;
    }
    view->Lines().MutableLines()[static_cast<std::size_t>(index)].data = data;
    return 0;
}

int CListBox::FindStringExact(int startAfter, const std::string& text) const
{
    const int count = GetCount();
    for (int step = 1; step <= count; ++step) {
        const int i = ((startAfter < 0 ? -1 : startAfter) + step) % count;
        if (ui::EqualNoCase(GetText(i), text)) {
            return i;
        }
    }
    return LB_ERR;
}

bool CListBox::SetTabStops(const std::vector<int>& dialogUnits)
{
    ui::ListBoxView* view = View(*this);
    if (view == nullptr || (style_ & LBS_USETABSTOPS) == 0) {
        return false;
    }
    const ui::BaseUnits units = ui::DialogBaseUnits(view->font());
    std::vector<int> pixels;
    for (const int du : dialogUnits) {
        pixels.push_back(ui::DialogToPixelsX(units, du));
    }
    view->SetTabStops(std::move(pixels));
    return true;
}

void CListBox::SetRedraw(bool redraw)
{
    ui::ListBoxView* view = View(*this);
    if (view == nullptr) {
        return;
    }
    const int selected = GetCurSel();
    view->setUpdatesEnabled(redraw);
    view->Lines().Hold(!redraw);
    if (redraw && selected >= 0 && selected < GetCount()) {
        SetCurSel(selected);
    }
}
