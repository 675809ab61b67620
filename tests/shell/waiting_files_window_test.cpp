// The window of the files that wait on the offscreen platform: the three lists as rows, the
// filter, the actions on the chosen rows, the volume lines, the way in from the options
// dialog, and its translation, with what the language file holds that no control takes logged.

#include "OptionsDialog.h"
#include "TrayFixture.h"
#include "WaitingFilesWindow.h"
#include "options/LanguageFile.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace brimble;
using brimble::test::TrayFixture;

class WaitingFilesWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TrayFixture> f;

    TWaitingFilesWindow& W() { return f->Window().WaitingFiles(); }
    int Rows() { return W().Table().model()->rowCount(); }
    QString Cell(int row, TWaitingColumn column) {
        return W().Table().model()->index(row, static_cast<int>(column)).data().toString();
    }
    int RowOf(const QString& name) {
        for (int r = 0; r < Rows(); ++r)
            if (Cell(r, TWaitingColumn::wcName) == name) return r;
        return -1;
    }
    void Choose(std::initializer_list<QString> names) {
        W().Table().clearSelection();
        for (const QString& name : names)
            W().Table().selectionModel()->select(W().Table().model()->index(RowOf(name), 0),
                                                 QItemSelectionModel::Select |
                                                     QItemSelectionModel::Rows);
    }

private Q_SLOTS:
    void init() {
        f = std::make_unique<TrayFixture>();
        TfrmBrimblemain& engine = f->Engine();
        engine.Options().FilterIncluding = "txt";
        engine.Options().CompressUnfiltered = false;
        f->sim.SetLocked("D:\\Docs\\a.txt", true);
        engine.SmartCompress("D:\\Docs\\a.txt"); // fails: delayed, with its reason
        engine.AddToList(TListKind::lkLag, "D:\\Docs\\b.txt");
        // The never list's own entries are left out, so the rows are this test's.
        for (const TCompressList* never = engine.CompressList(TListKind::lkNever); !never->Empty();)
            engine.RemoveFromList(TListKind::lkNever, std::string((*never)[0]));
        engine.AddToList(TListKind::lkNever, "setup.exe");
    }
    void cleanup() { f.reset(); }

    void showsEveryListWithReasonsAndFollowsTheFilter() {
        f->Window().miWaitingFilesClick();
        QVERIFY(W().isVisible());
        QCOMPARE(Rows(), 3);
        const int a = RowOf("a.txt");
        QCOMPARE(Cell(a, TWaitingColumn::wcFolder), QString("D:\\Docs\\"));
        QCOMPARE(Cell(a, TWaitingColumn::wcSize), QString("97.66 Kb"));
        QCOMPARE(Cell(a, TWaitingColumn::wcList), QString("delayed"));
        QCOMPARE(Cell(a, TWaitingColumn::wcReason),
                 QString::fromStdString(f->Engine().LastFailure("D:\\Docs\\a.txt")));
        QCOMPARE(Cell(RowOf("setup.exe"), TWaitingColumn::wcFolder), QString());
        QVERIFY(W().Volumes().text().contains("D:\\"));

        W().Filter().setText("B.TXT");
        QCOMPARE(Rows(), 1);
        W().Filter().clear();
        W().Table().sortByColumn(static_cast<int>(TWaitingColumn::wcSize), Qt::DescendingOrder);
        QCOMPARE(Cell(0, TWaitingColumn::wcName), QString("b.txt"));

        // A file queued while the window shows appears at the next tick; the chosen row
        // stays chosen across ticks.
        Choose({"a.txt"});
        W().RefreshNow();
        QCOMPARE(W().ChosenRows().size(), std::size_t(1));
        f->Engine().AddToList(TListKind::lkNever, "late.bin");
        W().RefreshNow();
        QCOMPARE(Rows(), 4);
        QCOMPARE(W().ChosenRows().size(), std::size_t(1));
        QCOMPARE(Cell(static_cast<int>(W().ChosenRows()[0]), TWaitingColumn::wcName),
                 QString("a.txt"));
    }

    void actionsWorkOnTheChosenRows() {
        f->Window().miWaitingFilesClick();
        Choose({"setup.exe"});
        QVERIFY(!W().RetryButton().isEnabled()); // a bare name has no file to try
        QVERIFY(W().RemoveButton().isEnabled());

        Choose({"a.txt"});
        W().RetryButton().click(); // still locked
        QVERIFY(W().Result().text().startsWith("0 done, 1 failed"));
        f->sim.SetLocked("D:\\Docs\\a.txt", false);
        Choose({"a.txt", "b.txt"});
        W().OpenFolderButton().click();
        QCOMPARE(f->desktop.links, std::vector<std::string>({"file:///D:%5CDocs%5C"}));
        W().RetryButton().click();
        QCOMPARE(W().Result().text(), QString("2 done, 0 failed"));
        QVERIFY(f->sim.IsCompressed("D:\\Docs\\a.txt"));
        QCOMPARE(Rows(), 1);

        f->Engine().AddToList(TListKind::lkDelayed, "D:\\Docs\\c.zip");
        W().RefreshNow();
        Choose({"c.zip"});
        W().NeverButton().click();
        QVERIFY(RowOf("c.zip") >= 0);
        QCOMPARE(Cell(RowOf("c.zip"), TWaitingColumn::wcList), QString("never"));
        Choose({"c.zip", "setup.exe"});
        W().RemoveButton().click();
        QCOMPARE(Rows(), 0);
    }

    void theOptionsDialogOpensIt() {
        f->Window().miOptionsClick();
        f->Window().OptionsForm().findChild<QPushButton*>("btnWaitingFiles")->click();
        QVERIFY(W().isVisible());
    }

    void translatedWithUnmappedPropertiesLoggedOnce() {
        f->Engine().LogFile().SetLogLevel(2);
        TLanguageNode titles{"TitleCaptions", {}, {}, {}};
        titles.Children.push_back(
            {"Item", {{"Index", "5"}, {"Value", "Warum sie wartet"}}, {}, {}});
        TLanguageNode element{"frmWaitingFiles", {{"Caption", "Wartende Dateien"}}, {}, {}};
        element.Children = {
            {"btnRetry", {{"Caption", "Jetzt versuchen"}, {"Font", "Arial"}}, {}, {}},
            {"lblCount", {{"Caption", "%1 von %2"}}, {}, {}},
            {"tvFiles", {}, {titles}, {}},
            {"btnGone", {{"Caption", "x"}}, {}, {}},
        };
        for (int twice = 0; twice < 2; ++twice)
            f->Window().TranslateWindow(ViewWindow::WaitingFiles, element);
        QCOMPARE(W().windowTitle(), QString("Wartende Dateien"));
        QCOMPARE(W().RetryButton().text(), QString("Jetzt versuchen"));
        QCOMPARE(W().Table().model()->headerData(5, Qt::Horizontal).toString(),
                 QString("Warum sie wartet"));
        W().ShowWindow();
        QCOMPARE(W().findChild<QLabel*>("lblCount")->text(), QString("3 von 3"));
        const std::string log = f->sim.Content(f->Engine().LogFile().FileName());
        for (const char* what : {"frmWaitingFiles.btnRetry.Font", "frmWaitingFiles.btnGone"}) {
            const std::string line = std::string("Language file: ") + what;
            QVERIFY2(log.find(line) != std::string::npos, what);
            QVERIFY2(log.find(line) == log.rfind(line), what); // once
        }
    }
};

QTEST_MAIN(WaitingFilesWindowTest)
#include "waiting_files_window_test.moc"
