// The controls keep the semantics the dialog's handlers rely on: names kept
// as bytes and drawn decoded, sorted list boxes, tab stops and redrawing, the
// tree's sorted insertion, children indicator and synchronous notifications,
// the up-down's report before it moves, and the done fields' blocking
// delivery from a job's thread.
#include <atomic>
#include <chrono>
#include <thread>

#include <QFile>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListView>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/DialogUnits.h"
#include "platform/ui/DoneField.h"
#include "platform/ui/ListBoxQt.h"
#include "platform/ui/Names.h"
#include "platform/ui/QtAccess.h"
#include "platform/ui/TreeCtrlQt.h"
#include "tests/support/Within.h"

using namespace std::chrono_literals;

namespace {

// How long a sender on another thread may take to reach its wait.
constexpr auto kSenderBound = 5s;

// A control's place given as Qt gives one: from its corner, by its size.
RECT Area(int x, int y, int width, int height) { return RECT{x, y, x + width, y + height}; }

std::vector<std::string> Lines(const CListBox& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.GetCount(); ++i) {
        lines.push_back(list.GetText(i));
    }
    return lines;
}

void ClickLine(CListBox& list, int row, bool twice = false)
{
    auto* view = qobject_cast<QListView*>(ui::qt::WidgetOf(list));
    view->doItemsLayout();
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }
}

// A dialog that notes the messages posted to it and takes only its own.
class NotingDialog : public CDialog {
public:
    static constexpr UINT kOwn = WM_APP + 1;

    struct Noted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::thread::id thread;
    };
    std::vector<Noted> noted;
    std::vector<POINT> menus;

protected:
    bool OnContextMenu(POINT screen) override
    {
        menus.push_back(screen);
        return true;
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        noted.push_back({message, wParam, lParam, std::this_thread::get_id()});
        return message == kOwn;
    }
};

// Gathers what a widget is asked to paint.
class PaintedRegion : public QObject {
public:
    explicit PaintedRegion(QWidget* widget) { widget->installEventFilter(this); }
    QRegion region;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            region += static_cast<QPaintEvent*>(event)->region();
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void sortedListFoldsOnlyLatinLetters_data()
    {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("listed");
        // '[' (0x5B) sorts before '_' (0x5F) only when letters fold down to lower case.
        QTest::newRow("fold down") << QStringList{"_x", "Banana", "[x", "apple"}
                                   << QStringList{"[x", "_x", "apple", "Banana"};
        QTest::newRow("equal ignoring case keeps arrival order") << QStringList{"b.s1v", "B.S1V", "a.s1y"}
                                                                 << QStringList{"a.s1y", "b.s1v", "B.S1V"};
        QTest::newRow("voice lines") << QStringList{"xx\tI1-001\tA", "Wv\tI2-001\tB", "Ba\tI1-128\tC"}
                                     << QStringList{"Ba\tI1-128\tC", "Wv\tI2-001\tB", "xx\tI1-001\tA"};
    }
    void sortedListFoldsOnlyLatinLetters()
    {
        QFETCH(QStringList, added);
        QFETCH(QStringList, listed);
        CDialog parent;
        CListBox list;
        QVERIFY(list.Create(LBS_SORT | LBS_NOTIFY, Area(0, 0, 100, 100), &parent, 1));
        for (const QString& line : added) {
            list.AddString(line.toStdString());
        }
        std::vector<std::string> expected;
        for (const QString& line : listed) {
            expected.push_back(line.toStdString());
        }
        QCOMPARE(Lines(list), expected);
    }

    void namesDrawAsUtf8WhereValidElseLatin1_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("drawn");
        QTest::newRow("UTF-8") << QByteArray("B\xC3\xA4sse.s1v") << QStringLiteral(u"B\u00E4sse.s1v");
        QTest::newRow("Latin-1") << QByteArray("B\xE4sse.s1v") << QStringLiteral(u"B\u00E4sse.s1v");
        // One bad byte makes the whole name Latin-1, the valid pair included.
        QTest::newRow("mixed") << QByteArray("J\xC3\xB6rg/\xC9t\xE9") << QStringLiteral(u"J\u00C3\u00B6rg/\u00C9t\u00E9");
        QTest::newRow("cut off at the end") << QByteArray("Pad\xC3") << QStringLiteral(u"Pad\u00C3");
        QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF" "b") << QStringLiteral(u"a\u00C0\u00AFb");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QStringLiteral(u"\u00ED\u00A0\u0080");
        QTest::newRow("byte-order mark kept") << QByteArray("\xEF\xBB\xBFx") << QStringLiteral(u"\uFEFFx");
    }
    void namesDrawAsUtf8WhereValidElseLatin1()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, drawn);
        QCOMPARE(ui::DrawnName(bytes.toStdString()), drawn);
    }

    void namesInTheControlsDrawDecodedAndKeepTheirBytes()
    {
        const std::string latin1 = "B\xE4sse.s1v";
        const std::string utf8 = "B\xC3\xA4sse.s1v";
        const QString drawn = QStringLiteral(u"B\u00E4sse.s1v");
        CDialog parent;

        CListBox list;
        list.Create(LBS_SORT, Area(0, 0, 100, 100), &parent, 1);
        list.AddString(latin1);
        list.AddString(utf8);
        list.AddString("Bzz.s1v");
        // Bytes above 127 sort after letters; the two names keep their own places.
        QCOMPARE(Lines(list), (std::vector<std::string>{"Bzz.s1v", utf8, latin1}));
        const QAbstractItemModel* lines = qobject_cast<QListView*>(ui::qt::WidgetOf(list))->model();
        QCOMPARE(lines->index(1, 0).data().toString(), drawn);
        QCOMPARE(lines->index(2, 0).data().toString(), drawn);
        QCOMPARE(list.FindStringExact(-1, latin1), 2);

        CTreeCtrl tree;
        tree.Create(TVS_HASBUTTONS, Area(0, 0, 100, 100), &parent, 2);
        HTREEITEM folder = tree.InsertItem(latin1, 0, 0, TVI_ROOT, TVI_LAST);
        HTREEITEM file = tree.InsertItem(utf8, 0, 0, folder, TVI_LAST);
        QCOMPARE(tree.GetItemText(folder), latin1);
        QCOMPARE(tree.GetItemText(file), utf8);
        QCOMPARE(ui::qt::TreeModelOf(tree)->IndexOf(folder).data().toString(), drawn);
        QCOMPARE(ui::qt::TreeModelOf(tree)->IndexOf(file).data().toString(), drawn);

        // Made or set, a label, a button or a field gives back what it was
        // given; text typed into a field only exists as Qt text: UTF-8.
        CStatic label;
        label.Create(latin1, Area(0, 0, 10, 10), &parent, 4);
        QCOMPARE(ui::qt::WidgetOf(label)->property("text").toString(), drawn);
        QCOMPARE(label.GetWindowText(), latin1);
        label.SetWindowText(utf8);
        QCOMPARE(label.GetWindowText(), utf8);
        CButton button;
        button.Create(latin1, 0, Area(0, 0, 10, 10), &parent, 6);
        QCOMPARE(button.GetWindowText(), latin1);
        CEdit edit;
        edit.Create(0, Area(0, 0, 100, 20), &parent, 5);
        edit.SetWindowText(latin1);
        QCOMPARE(edit.GetWindowText(), latin1);
        auto* field = qobject_cast<QLineEdit*>(ui::qt::WidgetOf(edit));
        field->setFocus();
        field->end(false);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_Adiaeresis, QStringLiteral(u"\u00E4"), Qt::NoModifier);
        QCOMPARE(field->text(), QStringLiteral(u"B\u00E4sse.s1\u00E4"));
        QCOMPARE(edit.GetWindowText(), std::string("B\xC3\xA4sse.s1\xC3\xA4"));
        // So is a path from Qt's file dialog, which Qt decoded itself.
        QCOMPARE(ui::NameBytes(QFile::decodeName(QByteArray::fromStdString(utf8))), utf8);
    }

    void aLabelTooNarrowForItsTextNarrowsItsLettersInstead()
    {
        CDialog parent;
        const int natural = QFontMetrics(ui::qt::DialogWindowOf(parent)->font()).horizontalAdvance(QStringLiteral("Instrument:"));
        CStatic tight;
        tight.Create("Instrument:", Area(0, 0, natural * 9 / 10, 12), &parent, 1);
        const QWidget* shown = ui::qt::WidgetOf(tight);
        QVERIFY(QFontMetrics(shown->font()).horizontalAdvance(QStringLiteral("Instrument:")) <= shown->width());
        CStatic roomy;
        roomy.Create("Instrument:", Area(0, 0, natural + 10, 12), &parent, 2);
        QCOMPARE(ui::qt::WidgetOf(roomy)->font().stretch(), ui::qt::DialogWindowOf(parent)->font().stretch());
    }

    void unsortedListKeepsOrderSelectionAndRedraw()
    {
        CDialog parent;
        CListBox list;
        list.Create(LBS_NOTIFY, Area(0, 0, 100, 100), &parent, 1);
        list.AddString("b");
        list.AddString("a");
        list.SetCurSel(1);
        list.InsertString(0, "c");
        QCOMPARE(Lines(list), (std::vector<std::string>{"c", "b", "a"}));
        QCOMPARE(list.GetCurSel(), 2);

        list.SetRedraw(false);
        QVERIFY(!ui::qt::WidgetOf(list)->updatesEnabled());
        for (int i = 0; i < 100; ++i) {
            list.AddString("n" + std::to_string(i));
        }
        QCOMPARE(list.GetCount(), 103);
        list.SetRedraw(true);
        QVERIFY(ui::qt::WidgetOf(list)->updatesEnabled());
        QCOMPARE(list.GetCurSel(), 2);
        auto* view = qobject_cast<QListView*>(ui::qt::WidgetOf(list));
        QCOMPARE(view->model()->rowCount(), 103);
        list.ResetContent();
        QCOMPARE(list.GetCount(), 0);
        QCOMPARE(list.GetCurSel(), LB_ERR);
    }

    void aListMovedToAnotherObjectStillRepaintsWhatTheKeysSelect()
    {
        // As the dialog re-creates its voice list: a new window, bound to
        // the old object. Its highlight must follow the selection.
        CDialog parent;
        ui::qt::DialogWindowOf(parent)->resize(200, 200);
        CListBox list;
        list.Create(LBS_NOTIFY, Area(0, 0, 100, 100), &parent, 1);
        ui::qt::DialogWindowOf(parent)->show();
        QVERIFY(QTest::qWaitForWindowExposed(ui::qt::DialogWindowOf(parent)));
        CListBox fresh;
        fresh.Create(LBS_NOTIFY, Area(0, 0, 100, 100), &parent, 1);
        for (const char* line : {"one", "two", "three"}) {
            fresh.AddString(line);
        }
        list.DestroyWindow();
        list.Attach(fresh);
        int changes = 0;
        list.onSelChange = [&] { ++changes; };
        auto* view = qobject_cast<QListView*>(ui::qt::WidgetOf(list));
        view->show();
        PaintedRegion painted(view->viewport());
        ClickLine(list, 0);
        QCOMPARE(changes, 1);
        QTRY_VERIFY(!painted.region.isEmpty());
        QCoreApplication::processEvents();
        painted.region = QRegion();
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(list.GetCurSel(), 1);
        QCOMPARE(changes, 2);
        const QRect second = view->visualRect(view->model()->index(1, 0));
        QTRY_VERIFY(painted.region.contains(second.center()));
        QVERIFY(painted.region.contains(view->visualRect(view->model()->index(0, 0)).center()));
    }

    void shiftF10AsksForTheContextMenuOfTheSelectedLine()
    {
        CDialog parent;
        ui::qt::DialogWindowOf(parent)->resize(200, 200);
        CListBox list;
        list.Create(LBS_NOTIFY, Area(0, 0, 100, 100), &parent, 1);
        for (const char* line : {"one", "two", "three"}) {
            list.AddString(line);
        }
        ui::qt::DialogWindowOf(parent)->show();
        int menus = 0;
        list.onContextMenu = [&](POINT) { ++menus; };
        list.SetCurSel(1);
        QTest::keyClick(ui::qt::WidgetOf(list), Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(menus, 1);
        QCOMPARE(list.GetCurSel(), 1);
        QTest::keyClick(ui::qt::WidgetOf(list), Qt::Key_F10);
        QCOMPARE(menus, 1);
    }

    void aDropDownReportsBeforeItShowsAndAnEmptyOneClosesAtOnce()
    {
        CDialog parent;
        ui::qt::DialogWindowOf(parent)->resize(200, 200);
        CComboBox box;
        box.Create(0, Area(0, 0, 150, 100), &parent, 1);
        ui::qt::DialogWindowOf(parent)->show();
        int downs = 0;
        int ups = 0;
        box.onDropDown = [&] {
            if (++downs == 2) {
                box.AddString("plugged in since");  // the lines may change here
            }
        };
        box.onCloseUp = [&] { ++ups; };
        box.ShowDropDown(true);
        QCOMPARE(downs, 1);
        QCOMPARE(ups, 1);
        box.ShowDropDown(true);
        QCOMPARE(downs, 2);
        QCOMPARE(ups, 1);
        QVERIFY(static_cast<QComboBox*>(ui::qt::WidgetOf(box))->view()->isVisible());
        box.ShowDropDown(false);
        QCOMPARE(ups, 2);
        QCOMPARE(box.GetLBText(0), std::string("plugged in since"));
    }

    void onlyTheUserRaisesSelectionChangeAndDoubleClick()
    {
        CDialog parent;
        ui::qt::DialogWindowOf(parent)->resize(200, 200);
        CListBox list;
        list.Create(LBS_NOTIFY, Area(0, 0, 100, 100), &parent, 1);
        int changes = 0;
        int doubles = 0;
        list.onSelChange = [&] { ++changes; };
        list.onDblClk = [&] { ++doubles; };
        list.AddString("one");
        list.AddString("two");
        ui::qt::DialogWindowOf(parent)->show();
        list.SetCurSel(0);
        QCOMPARE(changes, 0);
        ClickLine(list, 1);
        QCOMPARE(changes, 1);
        QCOMPARE(list.GetCurSel(), 1);
        ClickLine(list, 0, true);
        QCOMPARE(doubles, 1);
    }

    void tabStopsAreDialogUnitsOfTheListsFont()
    {
        CDialog parent;
        CListBox list;
        list.Create(LBS_USETABSTOPS, Area(0, 0, 100, 100), &parent, 1);
        QVERIFY(list.SetTabStops({14, 40}));
        const ui::BaseUnits units = ui::DialogBaseUnits(ui::qt::WidgetOf(list)->font());
        auto* view = ui::qt::ListViewOf(list);
        QCOMPARE(view->TabStops(), (std::vector<int>{ui::MulDiv(14, units.x, 4), ui::MulDiv(40, units.x, 4)}));
        CListBox plain;
        plain.Create(0, Area(0, 0, 100, 100), &parent, 2);
        QVERIFY(!plain.SetTabStops({14}));
    }

    void treeSortsRaisesExpandingFirstAndSelectsSynchronously()
    {
        CDialog parent;
        ui::qt::DialogWindowOf(parent)->resize(300, 300);
        CTreeCtrl tree;
        tree.Create(TVS_HASBUTTONS | TVS_LINESATROOT, Area(0, 0, 300, 300), &parent, 1010);
        for (const char* name : {"X:", "Network", "C:", "D:"}) {
            TVINSERTSTRUCTA insert;
            insert.hParent = TVI_ROOT;
            insert.hInsertAfter = TVI_SORT;
            insert.item.mask = TVIF_TEXT | TVIF_CHILDREN;
            insert.item.pszText = const_cast<LPSTR>(name);
            insert.item.cChildren = 1;
            tree.InsertItem(insert);
        }
        std::vector<std::string> root;
        for (HTREEITEM at = tree.GetRootItem(); at != nullptr; at = tree.GetNextSiblingItem(at)) {
            root.push_back(tree.GetItemText(at));
        }
        QCOMPARE(root, (std::vector<std::string>{"C:", "D:", "Network", "X:"}));

        HTREEITEM c = tree.GetRootItem();
        std::vector<std::string> events;
        tree.onItemExpanding = [&](HTREEITEM item, UINT action) {
            events.push_back("expanding " + tree.GetItemText(item) + (tree.IsExpanded(item) ? " open" : " closed"));
            if (action == TVE_EXPAND && tree.GetChildItem(item) == nullptr) {
                tree.InsertItem("Music", 1, 0, item, TVI_SORT);
                tree.SelectItem(item);
                events.push_back("selected " + tree.GetItemText(tree.GetSelectedItem()));
            }
            return false;
        };
        tree.onSelChanged = [&](HTREEITEM, HTREEITEM item) { events.push_back("changed " + tree.GetItemText(item)); };
        QVERIFY(tree.Expand(c, TVE_EXPAND));
        QCOMPARE(events, (std::vector<std::string>{"expanding C: closed", "changed C:", "selected C:"}));
        QVERIFY(tree.IsExpanded(c));
        QCOMPARE(tree.GetItemText(tree.GetChildItem(c)), std::string("Music"));
        QCOMPARE(tree.GetParentItem(tree.GetChildItem(c)), c);

        // The button: a click on it goes through the same notification.
        events.clear();
        ui::qt::DialogWindowOf(parent)->show();
        auto* view = qobject_cast<QTreeView*>(ui::qt::WidgetOf(tree));
        HTREEITEM d = tree.GetNextSiblingItem(c);
        const QRect rect = view->visualRect(ui::qt::TreeModelOf(tree)->IndexOf(d));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(rect.left() - view->indentation() / 2,
                                                                       rect.center().y()));
        QCOMPARE(events.front(), std::string("expanding D: closed"));
        QVERIFY(tree.IsExpanded(d));

        // No children: the indicator goes and with it the button.
        HTREEITEM x = tree.GetNextSiblingItem(tree.GetNextSiblingItem(d));
        TVITEMA none;
        none.mask = TVIF_CHILDREN;
        none.hItem = x;
        none.cChildren = 0;
        tree.SetItem(none);
        QVERIFY(!tree.ItemHasChildren(x));
        QVERIFY(!tree.Expand(x, TVE_EXPAND));

        // A deleted selection leaves nothing selected, silently.
        events.clear();
        tree.DeleteItem(d);
        QVERIFY(tree.GetSelectedItem() == nullptr || tree.GetSelectedItem() != d);
        QVERIFY(std::none_of(events.begin(), events.end(), [](const std::string& e) { return e.rfind("changed", 0) == 0; }));
    }

    void imageListMakesWhiteTransparent()
    {
        QPixmap strip(34, 16);
        strip.fill(Qt::white);
        CImageList images;
        QVERIFY(images.Create(17, 16, 2, 1));
        QCOMPARE(ui::qt::AddStrip(images, strip, qRgb(255, 255, 255)), 0);
        QCOMPARE(images.GetImageCount(), 2);
        QVERIFY(ui::qt::ImageOf(images, 1).toImage().pixelColor(3, 3).alpha() == 0);
        QVERIFY(ui::qt::ImageOf(images, 2).isNull());

        // A bitmap by its resource id: as many pictures as its width holds,
        // the mask given as the system gives colours (red in the low byte).
        CImageList tree;
        QVERIFY(tree.Create(ui::kTreeImagesBitmap, ui::kTreeImageWidth, 1, RGB(255, 255, 255)));
        QCOMPARE(tree.GetImageCount(), 15);
        QCOMPARE(ui::qt::ImageOf(tree, 14).size(), QSize(ui::kTreeImageWidth, 16));
        QCOMPARE(ui::qt::ImageOf(tree, 14).toImage().pixelColor(0, 0).alpha(), 0);
        CImageList none;
        QVERIFY(!none.Create(ui::kTreeImagesBitmap + 1, ui::kTreeImageWidth, 1, RGB(255, 255, 255)));
    }

    void upDownReportsBeforeItMovesAndKeepsItsRange()
    {
        CDialog parent;
        CEdit field;
        field.Create(ES_NUMBER | ES_RIGHT, Area(0, 0, 60, 20), &parent, 1006);
        CSpinButtonCtrl spin;
        spin.Create(UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS, Area(60, 0, 16, 20), &parent, 1007, field);
        spin.SetRange32(1, 16);
        field.SetWindowText("15");
        std::vector<std::pair<int, int>> reports;
        std::vector<std::string> shownWhenReported;
        spin.onDeltaPos = [&](int pos, int delta) {
            reports.emplace_back(pos, delta);
            shownWhenReported.push_back(field.GetWindowText());
            return true;
        };
        auto* up = ui::qt::WidgetOf(spin)->findChild<QToolButton*>(QStringLiteral("up"));
        QTest::mouseClick(up, Qt::LeftButton);
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(reports, (std::vector<std::pair<int, int>>{{15, 1}, {16, 1}}));
        QCOMPARE(shownWhenReported, (std::vector<std::string>{"15", "16"}));
        QCOMPARE(field.GetWindowText(), std::string("16"));
        QTest::keyClick(ui::qt::WidgetOf(field), Qt::Key_Down);
        QCOMPARE(field.GetWindowText(), std::string("15"));
        spin.onDeltaPos = [](int, int) { return false; };
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(field.GetWindowText(), std::string("15"));
        // Digits only.
        auto* edit = qobject_cast<QLineEdit*>(ui::qt::WidgetOf(field));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1a2"));
        QCOMPARE(field.GetWindowText(), std::string("12"));
    }

    void postedMessagesArriveInOrderOnTheDialogsThreadAfterThePoster()
    {
        NotingDialog dialog;
        dialog.PostMessage(NotingDialog::kOwn, 1, -1);
        std::thread other([&] { dialog.PostMessage(NotingDialog::kOwn + 1, 2, 0x7FFF0000); });
        other.join();
        dialog.PostMessage(NotingDialog::kOwn, 3, 0);
        QVERIFY(dialog.noted.empty());  // nothing runs inside PostMessage
        QVERIFY(QTest::qWaitFor([&] { return dialog.noted.size() == 3; }, 5000));
        QCOMPARE(dialog.noted[0].lParam, LPARAM{-1});
        QCOMPARE(dialog.noted[1].message, NotingDialog::kOwn + 1);  // not its own: handed on unharmed
        QCOMPARE(dialog.noted[1].lParam, LPARAM{0x7FFF0000});
        for (std::size_t i = 0; i < dialog.noted.size(); ++i) {
            QCOMPARE(dialog.noted[i].wParam, WPARAM{i + 1});
            QVERIFY(dialog.noted[i].thread == std::this_thread::get_id());
        }
    }

    void onlyTheDialogsBackgroundRaisesItsContextMenu()
    {
        NotingDialog dialog;
        ui::qt::DialogWindowOf(dialog)->resize(200, 100);
        CStatic label;
        label.Create("Path", Area(0, 0, 80, 20), &dialog, 1021);
        CButton button;
        button.Create("ID", BS_PUSHBUTTON | WS_TABSTOP, Area(100, 0, 80, 20), &dialog, 6);
        const auto rightClick = [&](QPoint at) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, QPoint(at.x() + 1000, at.y() + 2000));
            QCoreApplication::sendEvent(ui::qt::DialogWindowOf(dialog), &event);
        };
        rightClick(QPoint(10, 10));    // a label
        rightClick(QPoint(110, 10));   // a button takes the focus: not the dialog's
        rightClick(QPoint(100, 80));   // nothing
        QCOMPARE(dialog.menus.size(), std::size_t{2});
        QCOMPARE(dialog.menus[0].x, LONG{1010});
        QCOMPARE(dialog.menus[1].y, LONG{2080});
    }

    void aTemplatesFontIsTheDesktopsForTheShellFontAndTheNamedOneElse()
    {
        CDialog shell;
        shell.SetTemplate(ui::kShellFont, 100, 50);
        QCOMPARE(ui::qt::DialogWindowOf(shell)->font(), ui::DialogFont());
        CDialog named;
        named.SetTemplate({"Serif", 3 * ui::kShellFont.pointSize}, 100, 50);
        QCOMPARE(ui::qt::DialogWindowOf(named)->font().family(), QStringLiteral("Serif"));
        QCOMPARE(ui::qt::DialogWindowOf(named)->font().pointSize(), 3 * ui::kShellFont.pointSize);
        QVERIFY2(named.Units().y > shell.Units().y, "laid out in the font it was given");
        QVERIFY(named.TemplateSize().cy > shell.TemplateSize().cy);
    }

    void doneFieldDeliversFromAJobThreadAndIsReleasedByClose()
    {
        CDialog parent;
        CDoneEdit done;
        done.Create(Area(0, 0, 10, 10), &parent, 1018);
        QVERIFY(!done.IsWindowVisible());
        std::thread::id handledOn;
        std::atomic<int> handled{0};
        done.onUpdate = [&] {
            handledOn = std::this_thread::get_id();
            ++handled;
        };
        std::atomic<bool> returned{false};
        std::atomic<int> seenOnReturn{-1};
        std::thread job([&] {
            SendMessageA(&done, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("Done"));
            seenOnReturn = handled.load();
            returned = true;
        });
        QVERIFY(QTest::qWaitFor([&] { return returned.load(); }, 5000));
        job.join();
        QCOMPARE(seenOnReturn.load(), 1);  // the handler ran before the sender went on
        QVERIFY(handledOn == std::this_thread::get_id());

        // Bounded text, however many jobs report.
        for (int i = 0; i < 200; ++i) {
            done.ReplaceSelection("Done");
        }
        QVERIFY(done.Text().size() <= CDoneEdit::kKeep);

        // A closed field releases a waiting sender without this thread's help
        // (which runs no events meanwhile, so nothing else could release it).
        std::atomic<bool> released{false};
        std::thread late([&] {
            done.ReplaceSelection("Done");
            released = true;
        });
        const bool blocked = Within(kSenderBound, [&] { return done.WaitingSenders() == 1; });
        QVERIFY(!released.load());
        done.Close();
        late.join();
        QVERIFY2(blocked, "the sender never waited");
        QVERIFY(released.load());
        QCOMPARE(done.WaitingSenders(), std::size_t{0});
        QCOMPARE(handled.load(), 201);
    }

    // A field whose thread takes no events holds a sender only for the
    // bound, and the text it never took is not handled when events run later.
    void aDoneFieldSenderIsReleasedAfterItsBound()
    {
        CDialog parent;
        CDoneEdit done(std::chrono::milliseconds(20));
        done.Create(Area(0, 0, 10, 10), &parent, 1018);
        int updates = 0;
        done.onUpdate = [&] { ++updates; };
        std::thread sender([&] { done.ReplaceSelection("Done"); });
        sender.join();
        QCoreApplication::processEvents();
        QCOMPARE(updates, 0);
        QCOMPARE(done.Text(), std::string());
    }
};

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
