#include "platform/ui/Controls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/ui/QtAccess.h"
#include "platform/ui/QtGeometry.h"

namespace {

// The text a widget shows, by its kind.
void SetTextOf(QWidget* widget, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    } else {
        widget->setWindowTitle(text);
    }
}

QString TextOf(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title();
    }
    return widget->windowTitle();
}

}  // namespace

CWnd::CWnd() = default;
CWnd::~CWnd() = default;

void CWnd::Bind(HUIWND window, int id, DWORD style, std::string_view text)
{
    QWidget* widget = ui::qt::WidgetOf(window);
    if (!link_) {
        link_ = std::make_unique<ui::WindowLink>();
    }
    link_->widget = widget;
    id_ = id;
    style_ = style;
    bytes_ = text;
    link_->drawn = ui::DrawnName(text);
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
    widget->setProperty("ctrlId", id);
    if ((style & WS_TABSTOP) == 0) {
        widget->setFocusPolicy(widget->focusPolicy() == Qt::NoFocus ? Qt::NoFocus : Qt::ClickFocus);
    }
}

HUIWND CWnd::GetSafeHwnd() const { return link_ ? ui::qt::HandleOf(link_->widget.data()) : nullptr; }

void CWnd::EnableWindow(bool enable)
{
    if (QWidget* widget = ui::qt::WidgetOf(*this)) {
        widget->setEnabled(enable);
    }
}

bool CWnd::IsWindowEnabled() const
{
    const QWidget* widget = ui::qt::WidgetOf(*this);
    return widget != nullptr && widget->isEnabled();
}

void CWnd::MoveWindow(const RECT& rect)
{
    if (QWidget* widget = ui::qt::WidgetOf(*this)) {
        widget->setGeometry(ui::qt::ToQRect(rect));
    }
}

RECT CWnd::GetWindowRect() const
{
    const QWidget* widget = ui::qt::WidgetOf(*this);
    return widget != nullptr ? ui::qt::ToRect(widget->geometry()) : RECT{};
}

bool CWnd::IsWindowVisible() const
{
    const QWidget* widget = ui::qt::WidgetOf(*this);
    return widget != nullptr && widget->isVisible();
}

void CWnd::ShowWindow(int show)
{
    if (QWidget* widget = ui::qt::WidgetOf(*this)) {
        widget->setVisible(show != SW_HIDE);
    }
}

void CWnd::SetFocus()
{
    if (QWidget* widget = ui::qt::WidgetOf(*this)) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

bool CWnd::HasFocus() const
{
    const QWidget* focused = QApplication::focusWidget();
    const QWidget* widget = ui::qt::WidgetOf(*this);
    return widget != nullptr && focused != nullptr && (focused == widget || widget->isAncestorOf(focused));
}

void CWnd::SetToolTipText(const std::string& text)
{
    if (QWidget* widget = ui::qt::WidgetOf(*this)) {
        widget->setToolTip(ui::DrawnName(text));
    }
}

void CWnd::SetWindowText(const std::string& text)
{
    if (QWidget* widget = ui::qt::WidgetOf(*this)) {
        bytes_ = text;
        link_->drawn = ui::DrawnName(text);
        SetTextOf(widget, link_->drawn);
    }
}

std::string CWnd::GetWindowText() const
{
    const QWidget* widget = ui::qt::WidgetOf(*this);
    if (widget == nullptr) {
        return {};
    }
    const QString shown = TextOf(widget);
    return shown == link_->drawn ? bytes_ : ui::NameBytes(shown);
}

// --- CButton

void CButton::Create(const std::string& text, DWORD style, const RECT& rect, CDialog* parent, int id)
{
    const QString caption = ui::DrawnName(text);
    QWidget* widget = nullptr;
    switch (style & 0x0F) {
    case BS_AUTOCHECKBOX: {
        auto* box = new QCheckBox(caption, ui::qt::WidgetOf(parent));
        if ((style & BS_LEFTTEXT) != 0) {
            box->setLayoutDirection(Qt::RightToLeft);
        }
        QObject::connect(box, &QCheckBox::clicked, box, [this] {
            if (onClicked) {
                onClicked();
            }
        });
        widget = box;
        break;
    }
    case BS_GROUPBOX: {
        auto* group = new QGroupBox(caption, ui::qt::WidgetOf(parent));
        group->setFocusPolicy(Qt::NoFocus);
        widget = group;
        break;
    }
    default: {
        auto* button = new QPushButton(caption, ui::qt::WidgetOf(parent));
        // The dialog decides what Enter does (it presses the focused button).
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button, [this] {
            if (onClicked) {
                onClicked();
            }
        });
        widget = button;
        break;
    }
    }
    widget->setGeometry(ui::qt::ToQRect(rect));
    Bind(ui::qt::HandleOf(widget), id, style, text);
}

int CButton::GetCheck() const
{
    if (const auto* box = qobject_cast<const QCheckBox*>(ui::qt::WidgetOf(*this))) {
        switch (box->checkState()) {
        case Qt::Checked:
            return BST_CHECKED;
        case Qt::PartiallyChecked:
            return BST_INDETERMINATE;
        default:
            return BST_UNCHECKED;
        }
    }
    return BST_UNCHECKED;
}

void CButton::SetCheck(int state)
{
    if (auto* box = qobject_cast<QCheckBox*>(ui::qt::WidgetOf(*this))) {
        if (state == BST_INDETERMINATE) {
            box->setTristate(true);
        }
        box->setCheckState(state == BST_CHECKED         ? Qt::Checked
                           : state == BST_INDETERMINATE ? Qt::PartiallyChecked
                                                        : Qt::Unchecked);
    }
}

// --- CStatic

void CStatic::Create(const std::string& text, const RECT& rect, CDialog* parent, int id)
{
    auto* label = new QLabel(ui::DrawnName(text), ui::qt::WidgetOf(parent));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(ui::qt::ToQRect(rect));
    QFont font = label->font();
    if (label->height() >= 2 * QFontMetrics(font).height()) {
        label->setWordWrap(true);
    } else {
        // A label laid out for the framework's narrower font may not fit in
        // this one: narrow its letters rather than cut its end off.
        for (int stretch = 95; stretch >= 75 && QFontMetrics(font).horizontalAdvance(label->text()) > label->width();
             stretch -= 5) {
            font.setStretch(stretch);
        }
        label->setFont(font);
    }
    Bind(ui::qt::HandleOf(label), id, 0, text);
}

void CStatic::SetIcon(int iconId)
{
    if (auto* label = qobject_cast<QLabel*>(ui::qt::WidgetOf(*this))) {
        label->setPixmap(ui::qt::IconOf(iconId).pixmap(label->size()));
    }
}

// --- CEdit

void CEdit::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    auto* edit = new QLineEdit(ui::qt::WidgetOf(parent));
    if ((style & ES_NUMBER) != 0) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    if ((style & ES_RIGHT) != 0) {
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    edit->setGeometry(ui::qt::ToQRect(rect));
    Bind(ui::qt::HandleOf(edit), id, style);
}

void CEdit::SetCueBanner(const std::string& hint)
{
    if (auto* edit = qobject_cast<QLineEdit*>(ui::qt::WidgetOf(*this))) {
        edit->setPlaceholderText(QString::fromUtf8(hint.data(), static_cast<qsizetype>(hint.size())));
    }
}

// --- CComboBox

namespace {

QComboBox* Box(const CComboBox& combo) { return qobject_cast<QComboBox*>(ui::qt::WidgetOf(combo)); }

// Reports the drop-down part opening (before it shows, so that the lines
// can still change) and closing, as the framework's list does.
class DropDownCombo : public QComboBox {
public:
    DropDownCombo(QWidget* parent, std::function<void()> dropDown, std::function<void()> closeUp)
        : QComboBox(parent), dropDown_(std::move(dropDown)), closeUp_(std::move(closeUp))
    {
    }

    void showPopup() override
    {
        if (dropDown_) {
            dropDown_();
        }
        if (count() == 0) {
            // Qt shows no empty drop-down; the framework's opens and closes.
            if (closeUp_) {
                closeUp_();
            }
            return;
        }
        QComboBox::showPopup();
    }

    void hidePopup() override
    {
        const bool wasShown = view() != nullptr && view()->isVisible();
        QComboBox::hidePopup();
        if (wasShown && closeUp_) {
            closeUp_();
        }
    }

private:
    std::function<void()> dropDown_;
    std::function<void()> closeUp_;
};

}  // namespace

void CComboBox::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    auto* box = new DropDownCombo(
        ui::qt::WidgetOf(parent),
        [this] {
            if (onDropDown) {
                onDropDown();
            }
        },
        [this] {
            if (onCloseUp) {
                onCloseUp();
            }
        });
    box->setEditable(false);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMaxVisibleItems(10);
    // The given height includes the dropped-down part; the closed box is one line.
    const QRect place = ui::qt::ToQRect(rect);
    box->setGeometry(place.x(), place.y(), place.width(), box->sizeHint().height());
    Bind(ui::qt::HandleOf(box), id, style);
}


int CComboBox::AddString(const std::string& text) { return InsertString(-1, text); }

int CComboBox::InsertString(int index, const std::string& text)
{
    QComboBox* box = Box(*this);
    if (box == nullptr) {
        return -1;
    }
    if (index < 0 || index > box->count()) {
        index = box->count();
    }
    const int selected = box->currentIndex();
    box->insertItem(index, ui::DrawnName(text), QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    // A new line never selects itself, as it does not in the framework's list.
    if (selected < 0) {
        box->setCurrentIndex(-1);
    }
    return index;
}

void CComboBox::ResetContent()
{
    if (QComboBox* box = Box(*this)) {
        box->clear();
    }
}

int CComboBox::GetCount() const { return Box(*this) ? Box(*this)->count() : 0; }

int CComboBox::GetCurSel() const { return Box(*this) ? Box(*this)->currentIndex() : -1; }

int CComboBox::SetCurSel(int index)
{
    QComboBox* box = Box(*this);
    if (box == nullptr) {
        return -1;
    }
    if (index < 0 || index >= box->count()) {
        box->setCurrentIndex(-1);
        return -1;
    }
    box->setCurrentIndex(index);
    return index;
}

std::string CComboBox::GetLBText(int index) const
{
    QComboBox* box = Box(*this);
    if (box == nullptr || index < 0 || index >= box->count()) {
        return {};
    }
    const QByteArray bytes = box->itemData(index).toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void CComboBox::ShowDropDown(bool show)
{
    if (QComboBox* box = Box(*this)) {
        if (show) {
            box->showPopup();
        } else {
            box->hidePopup();
        }
    }
}

// --- CSpinButtonCtrl

namespace {

// Arrow keys in the buddy step the up-down control.
class ArrowKeys : public QObject {
public:
    ArrowKeys(QObject* parent, CSpinButtonCtrl& spin) : QObject(parent), spin_(spin) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                spin_.Step(key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CSpinButtonCtrl& spin_;
};

}  // namespace

void CSpinButtonCtrl::Create(DWORD style, const RECT& rect, CDialog* parent, int id, CEdit& buddy)
{
    buddy_ = &buddy;
    auto* frame = new QWidget(ui::qt::WidgetOf(parent));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const int delta : {1, -1}) {
        auto* arrow = new QToolButton(frame);
        arrow->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        arrow->setObjectName(delta > 0 ? QStringLiteral("up") : QStringLiteral("down"));
        QObject::connect(arrow, &QToolButton::clicked, frame, [this, delta] { Step(delta); });
        layout->addWidget(arrow);
    }
    frame->setFocusPolicy(Qt::NoFocus);
    QRect place = ui::qt::ToQRect(rect);
    if (QWidget* edit = ui::qt::WidgetOf(buddy); edit != nullptr && (style & UDS_ALIGNRIGHT) != 0) {
        // Placed inside the buddy's right edge; the buddy gives up that room.
        const QRect field = edit->geometry();
        const int width = place.width();
        place = QRect(field.right() + 1 - width, field.y(), width, field.height());
        edit->setGeometry(field.x(), field.y(), field.width() - width, field.height());
    }
    frame->setGeometry(place);
    Bind(ui::qt::HandleOf(frame), id, style);
    if (QWidget* edit = ui::qt::WidgetOf(buddy); (style & UDS_ARROWKEYS) != 0 && edit != nullptr) {
        edit->installEventFilter(new ArrowKeys(frame, *this));
    }
}

void CSpinButtonCtrl::SetRange32(int lower, int upper)
{
    lower_ = lower;
    upper_ = upper;
}

void CSpinButtonCtrl::GetRange32(int& lower, int& upper) const
{
    lower = lower_;
    upper = upper_;
}

int CSpinButtonCtrl::GetPos32() const
{
    // The buddy's text is the position, when it holds a number.
    if (buddy_ != nullptr) {
        bool ok = false;
        const int shown = QString::fromStdString(buddy_->GetWindowText()).toInt(&ok);
        if (ok) {
            return shown;
        }
    }
    return pos_;
}

void CSpinButtonCtrl::SetPos32(int pos)
{
    pos_ = pos < lower_ ? lower_ : (pos > upper_ ? upper_ : pos);
    if (buddy_ != nullptr) {
        buddy_->SetWindowText(std::to_string(pos_));
    }
}

void CSpinButtonCtrl::Step(int delta)
{
    if (!IsWindowEnabled()) {
        return;
    }
    const int pos = GetPos32();
    if (onDeltaPos && !onDeltaPos(pos, delta)) {
        return;
    }
    const long long moved = static_cast<long long>(pos) + delta;
    SetPos32(static_cast<int>(moved < lower_ ? lower_ : (moved > upper_ ? upper_ : moved)));
}
