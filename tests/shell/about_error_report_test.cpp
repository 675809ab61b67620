// The about box and the error report on the offscreen platform: the about box's texts,
// links and help, the error test behind Ctrl + right-click, the report of an error raised in
// a handler, a posted call and a timer tick, and Send with its fallback.

#include "AboutBox.h"
#include "ErrorReport.h"
#include "TrayFixture.h"
#include "engine/ErrorReportText.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <stdexcept>

using namespace brimble;
using brimble::test::TrayFixture;

namespace {

QStringList Lines(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast(); // the final break
    return lines;
}

// Thrown a call below the handler, so the stack has a frame of its own for it.
[[gnu::noinline]] void FailInHandler(const char* message) {
    throw std::runtime_error(message);
}

} // namespace

class AboutErrorReportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { f = std::make_unique<TrayFixture>(); }
    void cleanup() {
        f.reset();
        QCoreApplication::sendPostedEvents();
    }

    void aboutBoxShowsTheProgramAndOpensItsHelpAndLinks() {
        f->sim.SetFileVersion(f->sim.ProgramPath(), FileVersion{1, 0, 3, 378});
        TfrmAboutBox& about = f->Window().AboutBox();
        about.FormCreate(AboutBoxTexts(f->sim));
        f->Window().PopupMenu().findChild<QAction*>("miAbout")->trigger();
        QVERIFY(about.isVisible());
        QCOMPARE(about.windowTitle(), QString("About"));
        QCOMPARE(about.size(), QSize(298, 220));
        QCOMPARE(Label(about, "lblProductName"), QString("Brimble"));
        QCOMPARE(Label(about, "lblVersion"), QString("Version 1.0.3 build 378"));
        QVERIFY(Label(about, "htlblCopyright").contains("freeware"));

        QTest::mouseDClick(about.findChild<QLabel*>("imgProgramIcon"), Qt::LeftButton);
        QTest::mouseDClick(about.findChild<QLabel*>("htlblCopyright"), Qt::LeftButton);
        QCOMPARE(f->helpTopics, std::vector<std::string>({"about", "license"}));
        Q_EMIT about.findChild<QLabel*>("htlblMail")->linkActivated("mailto:support@x.org");
        QCOMPARE(f->desktop.links, std::vector<std::string>({"mailto:support@x.org"}));

        // F1 opens the about topic, Esc hides the box, which stays for the next showing.
        about.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QVERIFY(f->program->Keys().RouteKey(Qt::Key_F1));
        QCOMPARE(f->helpTopics.back(), std::string("about"));
        QVERIFY(f->program->Keys().RouteKey(Qt::Key_Escape));
        QVERIFY(!about.isVisible());
        f->Window().miAboutClick();
        QVERIFY(about.isVisible());
        about.findChild<QPushButton*>("bbtnOk")->click();
        QVERIFY(!about.isVisible());
    }

    void theDesktopOpensNoHelpWithoutTheHelpFolder() {
        const int windows = int(QApplication::topLevelWidgets().size());
        TQtDesktop noFolder(HtmlHelpViewer(f->sim.FileSystem(), f->folders.HelpDir));
        TQtDesktop noViewer;
        for (TQtDesktop* desktop : {&noFolder, &noViewer})
            for (const char* topic : {"compress", "about", "options_Main"})
                desktop->OpenHelp(topic);
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windows);
    }

    void ctrlRightClickOnTheProductNameReportsARealErrorWithItsStack() {
        f->sim.SetFileVersion(f->sim.ProgramPath(), FileVersion{1, 0, 3, 378});
        f->Window().miAboutClick();
        QLabel* name = f->Window().AboutBox().findChild<QLabel*>("lblProductName");
        TfrmErrorReport& report = f->Window().ErrorReport();
        QTest::mouseClick(name, Qt::RightButton);
        QTest::mouseClick(name, Qt::LeftButton, Qt::ControlModifier);
        QVERIFY(!report.isVisible());

        QTest::mouseClick(name, Qt::RightButton, Qt::ControlModifier);
        QVERIFY(report.isVisible());
        QCOMPARE(report.windowTitle(), QString("Error Report"));
        const QStringList lines = Lines(Q(report.ReportText()));
        const qsizetype message = lines.indexOf("Division by zero");
        QCOMPARE(message, 6);
        QCOMPARE(lines.mid(0, 6), QStringList({"", lines[1], lines[2], "", lines[4], ""}));
        QCOMPARE(lines[1], QString("Brimble v.1.0.3 build 378"));
        QVERIFY(lines[2].contains(" version: "));
        QCOMPARE(lines[4], Q(f->Engine().LogFile().FileName()));
        QCOMPARE(lines[7], QString());
        QCOMPARE(lines[8], QString());
        // The stack is taken where the error was thrown: the throwing function first, then
        // its callers up to the handler, with source files and lines.
        QVERIFY2(lines[9].contains("CheckedQuotient") && lines[9].contains("(Line "),
                 qPrintable(lines[9]));
        const QString stack = lines.mid(9).join('\n');
        QVERIFY2(stack.contains("RaiseErrorTest"), qPrintable(stack));
        QVERIFY2(stack.contains("TfrmAboutBox::lblProductNameMouseDown"), qPrintable(stack));
        QVERIFY2(stack.contains("\"AboutTexts.cpp\""), qPrintable(stack));
        QVERIFY(lines.contains(Q(f->folders.IniFileName)));

        // The log holds the entry at level -1, which the default level 0 writes.
        std::string log;
        QVERIFY(f->sim.FileSystem().ReadWholeFile(f->Engine().LogFile().FileName(), log));
        QVERIFY(log.find("Exception occured:\r\nDivision by zero\r\n(") != std::string::npos);
        QVERIFY(log.find("RaiseErrorTest") != std::string::npos);
        QVERIFY(!f->Engine().ShuttingDown());
        if (qEnvironmentVariableIsSet("BRIMBLE_SHOW_REPORT"))
            qInfo("%s", qPrintable(lines.join('\n')));
    }

    void aSecondErrorReplacesTheReportAndTheLogKeepsBoth() {
        QtUiLoop& loop = f->program->Loop();
        RunGuarded(loop, [] { FailInHandler("first failure"); });
        TfrmErrorReport& report = f->Window().ErrorReport();
        QVERIFY(report.isVisible());
        QVERIFY(Q(report.ReportText()).contains("first failure"));
        // A posted call's error reaches the report as a handler's does.
        loop.Post([] { FailInHandler("second failure\nwith a second line"); });
        QVERIFY(QTest::qWaitFor([&] { return Q(report.ReportText()).contains("second"); }));
        const QStringList lines = Lines(Q(report.ReportText()));
        QVERIFY(!lines.contains("first failure"));
        QCOMPARE(lines.mid(6, 4), QStringList({"second failure", "with a second line", "", ""}));
        QVERIFY2(lines[10].contains("FailInHandler"), qPrintable(lines[10]));

        std::string log;
        QVERIFY(f->sim.FileSystem().ReadWholeFile(f->Engine().LogFile().FileName(), log));
        QVERIFY(log.find("first failure") != std::string::npos);
        QVERIFY(log.find("second failure") != std::string::npos);

        // The report has no help topic: F1 goes on unhandled; Esc hides it.
        report.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&report));
        QVERIFY(!f->program->Keys().RouteKey(Qt::Key_F1));
        QVERIFY(f->helpTopics.empty());
        QVERIFY(f->program->Keys().RouteKey(Qt::Key_Escape));
        QVERIFY(!report.isVisible());
    }

    void aTimerThatFailsAtEveryTickReportsOnce() {
        int ticks = 0;
        std::unique_ptr<ITimer> timer = f->program->Loop().CreateTimer([&] {
            ++ticks;
            FailInHandler("tick failure");
        });
        timer->SetInterval(5);
        timer->SetEnabled(true);
        TfrmErrorReport& report = f->Window().ErrorReport();
        QVERIFY(QTest::qWaitFor([&] { return ticks >= 3; }));
        timer->SetEnabled(false);
        QVERIFY(report.isVisible());
        report.hide();
        QTest::qWait(20);
        QVERIFY(!report.isVisible()); // no later tick brought it back
        QVERIFY(f->messages.empty());
    }

    void anErrorLeftOutOfAnEventHandlerIsReported() {
        QTimer::singleShot(0, [] { FailInHandler("slot failure"); });
        TfrmErrorReport& report = f->Window().ErrorReport();
        QVERIFY(QTest::qWaitFor([&] { return report.isVisible(); }));
        const QStringList lines = Lines(Q(report.ReportText()));
        QCOMPARE(lines[6], QString("slot failure"));
        QVERIFY2(lines[9].contains("FailInHandler"), qPrintable(lines[9]));
    }

    void sendMailsTheReportOrFallsBackToTheClipboardAndAMailLink() {
        RunGuarded(f->program->Loop(), [] { FailInHandler("send me"); });
        TfrmErrorReport& report = f->Window().ErrorReport();
        const std::string text = report.ReportText();
        QPushButton* send = report.findChild<QPushButton*>("bbtnSend");

        send->click();
        QCOMPARE(f->desktop.mails.size(), std::size_t(1));
        const auto& mail = f->desktop.mails.back();
        QCOMPARE(mail.to, std::string(kSupportMailbox));
        QCOMPARE(mail.subject, std::string("Error report"));
        QCOMPARE(mail.body, text);
        QCOMPARE(mail.attachment, f->Engine().LogFile().FileName());
        QVERIFY(f->desktop.clipboard.empty());
        QVERIFY(f->desktop.links.empty());

        // No mail program: the report to the clipboard, then the mail link.
        f->desktop.mailSent = false;
        send->click();
        QCOMPARE(f->desktop.clipboard, text);
        QCOMPARE(f->desktop.links, std::vector<std::string>({ErrorReportMailLink(
                                       f->Engine().MessageTexts().ErrorSendingMessage)}));
        QVERIFY(f->messages.empty());

        // Not even the link opens: the box that asks for the log.
        f->desktop.linksOpen = false;
        send->click();
        QCOMPARE(f->messages, std::vector<std::string>({f->Engine().MessageTexts().SendErrorLog}));
    }

private:
    static QString Q(const std::string& text) { return QString::fromStdString(text); }
    static QString Label(QWidget& window, const char* name) {
        return window.findChild<QLabel*>(name)->text();
    }

    std::unique_ptr<TrayFixture> f;
};

// The program's own application, whose guard takes what an event handler lets out.
int main(int argc, char** argv) {
    TGuardedApplication app(argc, argv);
    AboutErrorReportTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "about_error_report_test.moc"
