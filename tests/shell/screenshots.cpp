// Writes pictures of the main window in its states (idle, running, paused, done), of the
// options dialog's pages, the about box, the error report and the files that wait, in
// English and in German, for review: brimble-screenshots FOLDER. Runs on the sim platform, so
// the totals are the same every time.

#include "AboutBox.h"
#include "ErrorReport.h"
#include "OptionsDialog.h"
#include "TrayFixture.h"
#include "WaitingFilesWindow.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <iostream>

namespace {

QString gLanguage = QStringLiteral("en"); // the prefix of the pictures

bool Save(QWidget& window, const QString& folder, const char* state,
          const char* name = "main-window") {
    const QString file =
        QDir(folder).filePath(QStringLiteral("%1-%2-%3.png").arg(gLanguage, name, state));
    if (window.grab().save(file)) {
        std::cout << file.toStdString() << '\n';
        return true;
    }
    std::cerr << "brimble-screenshots: cannot write " << file.toStdString() << '\n';
    return false;
}

bool ShootAll(const QString& folder, const char* languageFile) {
    brimble::test::TrayFixture f;
    // A fixed version, filled in before the language file as the program's start does.
    f.sim.SetFileVersion(f.sim.ProgramPath(), brimble::FileVersion{1, 0, 0, 1});
    f.Window().AboutBox().FormCreate(brimble::AboutBoxTexts(f.sim));
    if (languageFile && !f.ApplyLanguageFile(languageFile)) {
        std::cerr << "brimble-screenshots: cannot read " << languageFile << '\n';
        return false;
    }
    QWidget& window = f.Window();
    bool ok = Save(window, folder, "idle");
    f.TickOnly({"D:"});
    f.Click("btnEstimate");
    if (!QTest::qWaitFor([&] { return !f.Engine().ScanRunning(); }, 10000)) {
        std::cerr << "brimble-screenshots: the estimate did not end\n";
        return false;
    }
    ok = Save(window, folder, "estimate") && ok;
    f.Click("spdbtnGo");
    // The walk waits for this thread at its first file: the controls show the run.
    f.Window().SetStatusText("D:\\Docs\\a.txt");
    ok = Save(window, folder, "running") && ok;
    f.Click("spdbtnPause");
    ok = Save(window, folder, "paused") && ok;
    f.Click("spdbtnGo");
    if (!QTest::qWaitFor([&] { return !f.Engine().ScanRunning(); }, 10000)) {
        std::cerr << "brimble-screenshots: the scan did not end\n";
        return false;
    }
    ok = Save(window, folder, "done") && ok;

    // The options dialog, each page as it first shows.
    f.Window().miOptionsClick();
    auto& options = f.Window().OptionsForm();
    auto* pages = options.findChild<QTabWidget*>(QStringLiteral("pctrlOptions"));
    for (const char* page : {"tsMain", "tsCompress", "tsFiltering"}) {
        pages->setCurrentWidget(options.findChild<QWidget*>(QLatin1String(page)));
        QApplication::processEvents(); // the page's layout, as a user would see it
        ok = Save(options, folder, page, "options") && ok;
    }

    // The about box, and the report of the error its Ctrl + right-click raises.
    brimble::TfrmAboutBox& about = f.Window().AboutBox();
    f.Window().miAboutClick();
    ok = Save(about, folder, "box", "about") && ok;
    QTest::mouseClick(about.findChild<QWidget*>(QStringLiteral("lblProductName")), Qt::RightButton,
                      Qt::ControlModifier);
    ok = Save(f.Window().ErrorReport(), folder, "window", "error-report") && ok;

    // The files that wait: one of each list.
    f.Engine().Options().FilterIncluding = "txt";
    f.Engine().Options().CompressUnfiltered = false;
    f.sim.AddFile("D:\\Mail\\inbox.txt", 2'000'000);
    f.sim.SetLocked("D:\\Mail\\inbox.txt", true);
    f.Engine().SmartCompress("D:\\Mail\\inbox.txt");
    f.Engine().AddToList(brimble::TListKind::lkLag, "D:\\Docs\\a.txt");
    f.Window().miWaitingFilesClick();
    QApplication::processEvents();
    ok = Save(f.Window().WaitingFiles(), folder, "window", "waiting-files") && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    bool ok = ShootAll(folder, nullptr);
    gLanguage = QStringLiteral("de");
    ok = ShootAll(folder, BRIMBLE_GERMAN_FILE) && ok;
    return ok ? 0 : 1;
}
