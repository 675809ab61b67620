// The main window and the tray on the offscreen platform, driven by clicks and keys, with
// the engine on the sim platform.

#include "AboutBox.h"
#include "OptionsDialog.h"
#include "TrayFixture.h"
#include "WaitingFilesWindow.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace brimble;
using brimble::test::TrayFixture;

namespace {

// The controls whose tag says otherwise than their enabled state: tag 1 enabled only while
// no scan runs, tag 2 only while one runs.
QStringList WronglyEnabled(QWidget& window, bool scanning, bool paused = false) {
    QStringList wrong;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const int tag = w->property("tag").toInt();
        if (tag == 0) continue;
        bool expected = tag == 1 ? !scanning : scanning;
        // At rest the scan area decides between the drive list and the folder button.
        const bool pathMode = window.findChild<QRadioButton*>("rdbScanPath")->isChecked();
        if (!scanning && w->objectName() == "sbtnBrowseFolder") expected = pathMode;
        if (!scanning && w->objectName() == "chklstbDrives") expected = !pathMode;
        // Paused: Go resumes, Pause has nothing left to hold.
        if (paused && w->objectName() == "spdbtnGo") expected = true;
        if (paused && w->objectName() == "spdbtnPause") expected = false;
        if (w->isEnabled() != expected) wrong << w->objectName();
    }
    return wrong;
}

} // namespace

class TrayWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { f = std::make_unique<TrayFixture>(); }
    void cleanup() {
        f.reset();
        // The quit that a shutdown queued must not end a later test's message box.
        QCoreApplication::sendPostedEvents();
    }

    void windowHasTheDescribedFrameControlsAndTabOrder() {
        QWidget& w = f->Window();
        QVERIFY(w.isVisible()); // the first application of the options shows it
        QCOMPARE(w.size(), QSize(548, 319));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.windowTitle(), QString("Brimble"));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(f->Find("chklstbDrives")->geometry(), QRect(8, 8, 161, 255));
        QCOMPARE(f->Find("grpbTotal")->geometry(), QRect(175, 127, 362, 136));
        QCOMPARE(f->Find("spdbtnStop")->geometry(), QRect(98, 272, 23, 22));
        QCOMPARE(f->Text("lblPreservedSpace"), std::string("Reclaimed free space share:"));
        QVERIFY(!f->Find("spdbtnPause")->isEnabled());
        QVERIFY(!f->Find("edScanPath")->isEnabled());
        QVERIFY(!f->Find("sbtnBrowseFolder")->isEnabled());

        // The focus chain: scan area, drives, Help, Close, path, Options; Estimate, which is
        // this program's own, after them.
        QStringList chain;
        QWidget* start = f->Find("rdbScanDisks");
        for (QWidget* next = start; chain.size() < 12; next = next->nextInFocusChain()) {
            if (next != &w && next->focusPolicy() & Qt::TabFocus &&
                (chain.isEmpty() || chain.last() != next->objectName()))
                chain << next->objectName();
            if (chain.size() > 1 && next == start) break;
        }
        const QStringList expected = {"rdbScanDisks", "rdbScanPath", "chklstbDrives",
                                      "bbtnHelp",     "bbtnOK",      "edScanPath",
                                      "bbtnOptions",  "btnEstimate"};
        QCOMPARE(chain.mid(0, expected.size()), expected);
    }

    void driveListShowsTheSimDrivesTickedAndRefreshesOnShow() {
        auto* list = f->Find<QListWidget>("chklstbDrives");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QString("C: - System"));
        QCOMPARE(list->item(1)->text(), QString("D: - Data"));
        QCOMPARE(list->item(1)->checkState(), Qt::Checked);

        f->Window().hide();
        f->sim.AddVolume("E:\\", DriveType::Fixed, "NTFS", 4096, "New");
        f->Window().miCompressClick();
        QTRY_COMPARE(list->count(), 3);
        QCOMPARE(list->item(2)->checkState(), Qt::Checked); // a new drive comes ticked
    }

    void scanControlsFollowARunThroughPauseAndResume() {
        f->TickOnly({"D:"});
        f->Click("spdbtnGo");
        // The scan thread waits for this thread at its first file: the run is on.
        QCOMPARE(WronglyEnabled(f->Window(), true), QStringList());
        f->Click("spdbtnPause");
        QCOMPARE(WronglyEnabled(f->Window(), true, true), QStringList());
        f->Click("spdbtnGo");
        QCOMPARE(WronglyEnabled(f->Window(), true), QStringList());
        QTRY_VERIFY(!f->Engine().ScanRunning());
        QCOMPARE(WronglyEnabled(f->Window(), false), QStringList());
        // Back in disk mode the path controls stay off.
        QVERIFY(!f->Find("edScanPath")->isEnabled());
        QVERIFY(f->messages.empty());
    }

    void anEstimateChangesNoFileAndSaysSo() {
        f->TickOnly({"D:"});
        f->Click("btnEstimate");
        QTRY_VERIFY(!f->Engine().ScanRunning());
        QCOMPARE(f->Text("lblCompressedFilesT_Count"), std::string("2 "));
        QVERIFY(!f->sim.IsCompressed("D:\\Docs\\b.txt"));
        QCOMPARE(f->Find<QGroupBox>("grpbTotal")->title(), QString("Total (estimate)"));
        QCOMPARE(f->Find<QStatusBar>("sbarScanning")->currentMessage(),
                 QString("Estimate complete: no file was changed. Go compresses."));
    }

    void aScanOfTheTickedDriveShowsItsTotals() {
        f->TickOnly({"D:"});
        f->Click("spdbtnGo");
        QTRY_VERIFY(!f->Engine().ScanRunning());
        QCOMPARE(f->Find<QGroupBox>("grpbTotal")->title(), QString("Total"));
        QCOMPARE(f->Text("lblFilesOnDiskT_Count"), std::string("3 "));
        QCOMPARE(f->Text("lblFilesToBeCompressedT_Count"), std::string("2 "));
        QCOMPARE(f->Text("lblCompressedFilesT_Count"), std::string("2 "));
        QCOMPARE(f->Text("lblFilesOnDiskT_Size"), std::string("439.45 Kb"));
        QVERIFY(f->sim.IsCompressed("D:\\Docs\\b.txt"));
        QVERIFY(!f->sim.IsCompressed("D:\\Docs\\c.zip"));
        QVERIFY(f->Text("lblCompressedFilesT_Percent").find('%') != std::string::npos);
        QCOMPARE(f->Window().TrayImage(), kImageTrayIdle); // back at rest after compressing
        QVERIFY(f->notifications.empty());                 // the window was open
    }

    void pathModeTakesTheChosenFolderAndRefusesABadOne() {
        f->Find<QRadioButton>("rdbScanPath")->click();
        QVERIFY(f->Find("edScanPath")->isEnabled());
        QVERIFY(!f->Find("chklstbDrives")->isEnabled());
        f->chosenFolder = "D:\\Docs";
        f->Click("sbtnBrowseFolder");
        QCOMPARE(f->Find<QLineEdit>("edScanPath")->text(), QString("D:\\Docs"));
        f->Click("spdbtnGo");
        QTRY_VERIFY(!f->Engine().ScanRunning());
        QCOMPARE(f->Text("lblFilesOnDiskT_Count"), std::string("3 "));

        f->chosenFolder.clear(); // cancelled: the field empties
        f->Click("sbtnBrowseFolder");
        QCOMPARE(f->Find<QLineEdit>("edScanPath")->text(), QString());
        f->Click("spdbtnGo");
        QCOMPARE(f->messages, std::vector<std::string>({"Incorrect path specified"}));
        QVERIFY(f->Find("spdbtnGo")->isEnabled());
    }

    void closingTheWindowDuringAScanHidesItAndTheEndIsNotified() {
        f->TickOnly({"D:"});
        f->Click("spdbtnGo");
        QVERIFY(f->Window().close() == false); // refused: hidden instead
        QVERIFY(!f->Window().isVisible());
        QTRY_VERIFY(!f->Engine().ScanRunning());
        QTRY_COMPARE(f->notifications.size(), std::size_t(1));
        QVERIFY(f->notifications[0].second.find("Total files processed: 3") != std::string::npos);
        QVERIFY(!f->Engine().ShuttingDown());
    }

    void exitDuringAScanStopsItAndSavesTheLists() {
        TfrmBrimblemain& engine = f->Engine();
        engine.AddToList(TListKind::lkNever, "keep.txt");
        f->TickOnly({"D:"});
        f->Click("spdbtnGo");
        f->Window().PopupMenu().actions().last()->trigger(); // Exit
        QVERIFY(engine.ShuttingDown());
        const std::string never = f->sim.Content(f->folders.UserDataDir + "\\NeverCompress.lst");
        QVERIFY2(never.find("keep.txt") != std::string::npos, never.c_str());
        QTest::qWait(50);   // the walk's late hand-over finds nothing to do
        f->program.reset(); // the scan thread ends with the program
    }

    void aDriveUnpluggedDuringAScanEndsTheRunSoundly() {
        f->TickOnly({"C:", "D:"});
        f->Click("spdbtnGo");
        f->Click("spdbtnPause");
        f->sim.RemoveVolume("D:\\");
        f->Engine().DeviceChanged(); // ignored while the scan runs
        f->Click("spdbtnGo");
        // C: ends, D: is refused; the run waits for Stop.
        QTRY_COMPARE(f->messages, std::vector<std::string>({"Wrong drive!"}));
        QVERIFY(f->Find("spdbtnStop")->isEnabled());
        f->Click("spdbtnStop");
        QTRY_VERIFY(!f->Engine().ScanRunning());
        QCOMPARE(WronglyEnabled(f->Window(), false), QStringList());
        f->Window().hide();
        f->Window().miCompressClick(); // showing again refreshes: D: is gone
        QTRY_COMPARE(f->Find<QListWidget>("chklstbDrives")->count(), 1);
    }

    void trayMenuHasTheDescribedItemsAndActions() {
        QMenu& menu = f->Window().PopupMenu();
        QStringList names;
        for (QAction* a : menu.actions()) {
            names << a->objectName();
            QVERIFY(!a->icon().isNull());
        }
        // The described items, with the view of the files that wait after Options.
        QCOMPARE(names, QStringList({"miCompress", "miOptions", "miWaitingFiles", "miHelp",
                                     "miAbout", "miExit"}));
        QCOMPARE(f->Window().TrayIcon().toolTip(), QString("Brimble"));
        const auto item = [&menu](const char* name) {
            return menu.findChild<QAction*>(QString::fromLatin1(name));
        };

        f->Window().hide();
        item("miCompress")->trigger();
        QVERIFY(f->Window().isVisible());
        item("miHelp")->trigger(); // the topic "about"
        QCOMPARE(f->helpTopics, std::vector<std::string>({"about"}));
        QWidget& options = f->Window().OptionsForm();
        item("miOptions")->trigger();
        QVERIFY(options.isVisible());
        // A double-click opens the options, not the main window.
        options.hide();
        f->Window().hide();
        Q_EMIT f->Window().TrayIcon().activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(options.isVisible());
        QVERIFY(!f->Window().isVisible());
        item("miAbout")->trigger();
        QVERIFY(f->Window().AboutBox().isVisible());
        item("miWaitingFiles")->trigger();
        QVERIFY(f->Window().WaitingFiles().isVisible());

        item("miExit")->trigger();
        QVERIFY(f->Engine().ShuttingDown());
        item("miExit")->trigger(); // a second shutdown finds nothing to do
        f->Window().miCompressClick();
    }

    // A StatusNotifier host reports a click and never a double-click: there the click opens
    // the options; elsewhere it does nothing, as a double-click begins with one.
    void aClickOnTheIconOpensTheOptionsOnlyOnAHostWithoutDoubleClicks() {
        for (const bool host : {false, true}) {
            f.reset();
            f = std::make_unique<TrayFixture>(true, host);
            QWidget& options = f->Window().OptionsForm();
            Q_EMIT f->Window().TrayIcon().activated(QSystemTrayIcon::Trigger);
            QCOMPARE(options.isVisible(), host);
        }
    }

    void escHidesTheActiveWindowAndF1OpensItsHelp() {
        QWidget& w = f->Window();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Keys reach the focused control first, as a real key press does.
        const auto focused = [&w] {
            return QApplication::focusWidget() ? QApplication::focusWidget() : &w;
        };
        QTest::keyClick(focused(), Qt::Key_F1);
        QCOMPARE(f->helpTopics, std::vector<std::string>({"compress"}));
        f->Click("bbtnHelp");
        QCOMPARE(f->helpTopics.size(), std::size_t(2));
        QTest::keyClick(focused(), Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QVERIFY(!f->Engine().ShuttingDown());
        // With no program window active the keys go on unhandled.
        QVERIFY(!f->program->Keys().RouteKey(Qt::Key_F1));
        QVERIFY(!f->program->Keys().RouteKey(Qt::Key_Escape));
        QCOMPARE(f->helpTopics.size(), std::size_t(2));
    }

    void withoutATrayTheWindowStaysReachableAndClosingAsksToQuit() {
        f.reset();
        f = std::make_unique<TrayFixture>(false);
        QWidget& w = f->Window();
        QVERIFY(w.isVisible());
        f->answerYes = false;
        w.close();
        QCOMPARE(f->questions.size(), std::size_t(1));
        QVERIFY(w.isVisible());
        QVERIFY(!f->Engine().ShuttingDown());
        f->answerYes = true;
        f->Click("bbtnOK");
        QCOMPARE(f->questions.size(), std::size_t(2));
        QVERIFY(f->Engine().ShuttingDown());
    }

    void aLanguageFileTranslatesCaptionsMenuAndScanAreaItems() {
        TLanguageNode items{"Items", {}, {}, {}};
        items.Children.push_back({"Item", {{"Index", "1"}, {"Value", "Ordner prüfen"}}, {}, {}});
        items.Children.push_back({"Item", {{"Index", "7"}, {"Value", "ignored"}}, {}, {}});
        TLanguageNode main{"frmBrimblemain", {{"Caption", "Brimble DE"}}, {}, {}};
        main.Children = {
            {"TrayIcon", {{"Hint", "Brimble-Hinweis"}}, {}, {}},
            {"miExit", {{"Caption", "Beenden"}}, {}, {}},
            {"grpbTotal", {{"Caption", "Gesamt"}}, {}, {}},
            {"lblCountT", {{"Caption", "Anzahl"}}, {}, {}},
            {"bbtnOK", {{"Caption", "Schließen"}}, {}, {}},
            {"rgrpScanArea", {{"Caption", "Bereich:"}}, {items}, {}},
            {"lblNoSuchControl", {{"Caption", "x"}}, {}, {}},
        };
        f->Window().TranslateWindow(ViewWindow::Main, main);
        QCOMPARE(f->Window().windowTitle(), QString("Brimble DE"));
        QCOMPARE(f->Window().TrayIcon().toolTip(), QString("Brimble-Hinweis"));
        QCOMPARE(f->Window().PopupMenu().actions().last()->text(), QString("Beenden"));
        QCOMPARE(f->Find<QGroupBox>("grpbTotal")->title(), QString("Gesamt"));
        QCOMPARE(f->Text("lblCountT"), std::string("Anzahl"));
        QCOMPARE(f->Find<QAbstractButton>("bbtnOK")->text(), QString("Schließen"));
        QCOMPARE(f->Find<QGroupBox>("rgrpScanArea")->title(), QString("Bereich:"));
        QCOMPARE(f->Find<QAbstractButton>("rdbScanPath")->text(), QString("Ordner prüfen"));
        QCOMPARE(f->Find<QAbstractButton>("rdbScanDisks")->text(), QString("Scan disks"));

        // A longer text in a place of fixed size is set smaller rather than cut off.
        main.Children = {
            {"lblFilesToBeCompressedT", {{"Caption", "Zu komprimierende Dateien:"}}, {}, {}}};
        f->Window().TranslateWindow(ViewWindow::Main, main);
        auto* label = f->Find<QLabel>("lblFilesToBeCompressedT");
        QVERIFY(label->font().pointSizeF() < f->Window().font().pointSizeF());
        QVERIFY(label->sizeHint().width() <= label->width());
    }

    void aSecondStartIsRefusedWithTheMessageAndCode82() {
        const TStartCheck first = CheckStartPreconditions(f->sim);
        QVERIFY(first.Lock);
        const TStartCheck second = CheckStartPreconditions(f->sim);
        QString shown;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(top);
                if (!box || !box->isVisible()) continue;
                shown = box->text();
                box->accept();
                closer.stop();
            }
        });
        closer.start(10);
        QCOMPARE(RefuseStart(second, true), 82);
        QCOMPARE(shown, QString("Brimble is already running."));
    }

private:
    std::unique_ptr<TrayFixture> f;
};

QTEST_MAIN(TrayWindowTest)
#include "tray_window_test.moc"
