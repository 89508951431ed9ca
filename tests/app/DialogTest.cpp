// The main dialog as Qt shows it: its Qt window's title, icon and sizes, the
// status line's tip, and the window grown and moved through Qt. What the
// dialog does over either window system is in DialogBehaviourTest.cpp.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QApplication>
#include <QGuiApplication>
#include <QListView>
#include <QScreen>
#include <QTest>

#include "app/SonderikDlg.h"
#include "app/Settings.h"
#include "platform/ui/QtAccess.h"
#include "tests/app/DialogBench.h"
#include "tests/support/UiDriver.h"
#include "tests/support/VoiceFileBuilder.h"

namespace {

using namespace dialog_bench;

QSize Extent(const SIZE& size) { return QSize(size.cx, size.cy); }
QRect Place(const RECT& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowHasItsTitleItsIconAndTheTemplatesSize()
    {
        Bench bench;
        Boxes boxes;
        auto dialog = Open(boxes);
        QDialog* window = ui::qt::DialogWindowOf(*dialog);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Sonderik"));
        QVERIFY2(!window->windowIcon().isNull(), "the title bar shows the program's icon");
        QCOMPARE(window->minimumSize(), Extent(dialog->TemplateSize()));
        QCOMPARE(window->size(), Extent(dialog->TemplateSize()));
        QVERIFY(Idle(*dialog));
    }

    // Off Windows only: there the settings are a file, which can be spoilt.
    void aSettingsFileThatCannotBeReadIsNamedInTheStatusLineAndItsTip()
    {
        Bench bench;
        const std::filesystem::path file = bench.Config().RootFile("HKEY_LOCAL_MACHINE");
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "not a settings file";
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        const std::string status = dialog->StatusText();
        QVERIFY2(status.rfind("Settings could not be read; built-in values are used. The file was set aside as " +
                                  file.string() + ".corrupt-",
                              0) == 0,
                 status.c_str());
        QCOMPARE(ui::qt::WidgetOf(*dialog->GetDlgItem(Dlg::IDC_STATUS))->toolTip().toStdString(), status);
    }

    void growsWithItsWindowAndKeepsItsPlace()
    {
        Bench bench;
        Bank().Write((bench.Voices() / "bank.s1v").string(), VoiceFileBuilder::Kind::S1v);
        bench.Store(bench.Folder());
        Boxes boxes;
        auto dialog = Open(boxes);
        QVERIFY(Idle(*dialog));
        SelectFile(*dialog, "bank.s1v");
        CListBox& voices = dialog->VoiceList();
        QCOMPARE(voices.GetCount(), 255);

        auto* view = qobject_cast<QListView*>(ui::qt::WidgetOf(voices));
        const auto lastShown = [view] {
            view->doItemsLayout();
            return view->indexAt(QPoint(5, view->viewport()->height() - 2)).row();
        };
        const int before = lastShown();
        const QRect quit = Place(dialog->GetDlgItem(Dlg::IDC_QUIT)->GetWindowRect());
        const QSize grown = Extent(dialog->TemplateSize()) + QSize(4, 79);
        QVERIFY2(QGuiApplication::primaryScreen()->availableGeometry().contains(QRect(QPoint(3, 4), grown)),
                 "the place must fit the screen the test runs on");
        ui::qt::DialogWindowOf(*dialog)->resize(grown);
        QCoreApplication::processEvents();
        QVERIFY2(lastShown() >= before + 4, qPrintable(QStringLiteral("%1 then %2").arg(before).arg(lastShown())));
        QCOMPARE(Place(dialog->GetDlgItem(Dlg::IDC_QUIT)->GetWindowRect()), quit.translated(4, 79));

        ui::qt::DialogWindowOf(*dialog)->move(3, 4);
        Click(*dialog, Dlg::IDC_QUIT);
        const auto stored = StoredSettings();
        QVERIFY(stored.has_value());
        QCOMPARE(stored->window, "3,4," + std::to_string(grown.width()) + "," + std::to_string(grown.height()));
        auto again = Open(boxes);
        QCOMPARE(ui::qt::DialogWindowOf(*again)->size(), grown);
        QCOMPARE(ui::qt::DialogWindowOf(*again)->pos(), QPoint(3, 4));
        QVERIFY(Idle(*again));
        QVERIFY(boxes.shown.empty());
    }
};

QTEST_MAIN(DialogTest)
#include "DialogTest.moc"
