// The options dialog on the offscreen platform, driven by clicks, with the engine on the sim
// platform: the fill from a settings file, OK, Cancel, Defaults and Clear, the enabling
// rules, the number fields, the questions and notices, and the language files.

#include "OptionsDialog.h"
#include "TrayFixture.h"
#include "engine/TfrmOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <memory>
#include <sstream>

using namespace brimble;
using brimble::test::TrayFixture;

namespace {

std::string RepositoryLanguageFile(const char* name) {
    std::ifstream file(std::string(BRIMBLE_LANGUAGE_DIR) + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

class OptionsDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        f = std::make_unique<TrayFixture>();
        ini = f->folders.IniFileName;
    }
    void cleanup() {
        f.reset();
        QCoreApplication::sendPostedEvents();
    }

    void showingFillsTheControlsFromTheSettingsFile() {
        f->sim.AddFileWithContent(f->folders.LanguagesDir + "german.xml", "<Language/>");
        f->sim.AddFileWithContent(f->folders.LanguagesDir + "ENGLISH.XML", "<Language/>");
        Settings("SmartCompressMode=2\r\nCompressionDelay=7\r\nPriority=6\r\n"
                 "MaxFileSizeFiltered=1048575\r\nMaxFileSizeUnfilteredEnable=0\r\n"
                 "Language=german\r\nExcludeFolders=D:\\Cache=\tD:\\Old=x\r\n"
                 "CompressSharedFiles=1\r\n");
        Show();
        QVERIFY(Find<QRadioButton>("rdbSmartCompressInteractive")->isChecked());
        QCOMPARE(Find<QComboBox>("cbCompressionDelay")->currentText(), QString("3 min"));
        QCOMPARE(Find<QComboBox>("cboxPriority")->currentIndex(), -1);
        QCOMPARE(Field("sedMaxFileSizeFiltered")->value(), 1); // 0 Mb brought up
        QStringList languages = Items("cbxLanguage");          // in the folder's listing order
        languages.sort();
        QCOMPARE(languages, QStringList({"English", "German"}));
        QCOMPARE(Find<QComboBox>("cbxLanguage")->currentText(), QString("German"));
        QCOMPARE(Items("vleExcludeFolders"), QStringList({"D:\\Cache", "D:\\Old"}));
        QVERIFY(Find<QCheckBox>("cbCompressSharedFiles")->isChecked());
        // The enabled states follow the filled controls.
        QVERIFY(Find("cbCompressAgainDelay")->isEnabled());
        QVERIFY(!Field("sedIdleTime")->isEnabled());
        QVERIFY(!Field("sedMaxFileSizeUnfiltered")->isEnabled());
        QCOMPARE(Find<QLabel>("lblDelayedCompressFilesCnt")->text(), QString("(0)"));

        // A showing reads the file afresh; bringing a shown dialog to the front does not.
        Find<QCheckBox>("cbBeepOnComplete")->setChecked(false);
        Dialog().ShowOptions();
        QVERIFY(!Find<QCheckBox>("cbBeepOnComplete")->isChecked());
        Dialog().hide();
        Dialog().ShowOptions();
        QVERIFY(Find<QCheckBox>("cbBeepOnComplete")->isChecked());
    }

    void okSavesAndAppliesCancelRestores() {
        Settings("IdleTime=5\r\nExcludeFolders=D:\\Cache=\r\n");
        Show();
        Find<QRadioButton>("rdbSmartCompressOnIdle")->click();
        Find<QCheckBox>("cbBeepOnComplete")->click();
        Find<QComboBox>("cbCompressAgainDelay")->setCurrentIndex(0);
        Type("sedCompressionLevel", "20");
        Find<QCheckBox>("cbSmartCompressionLevel")->click();
        Type("sedIdleTime", "12"); // still in the field when OK is pressed
        Click("bbtnOK");
        QVERIFY(!Dialog().isVisible());
        const std::string written = f->sim.Content(ini);
        for (const char* line :
             {"SmartCompressMode=1\r\n", "IdleTime=12\r\n", "BeepOnComplete=0\r\n",
              "CompressAgainDelay=0\r\n", "CompressionLevel=15\r\n", "SmartCompressionLevel=1\r\n"})
            QVERIFY2(written.find(line) != std::string::npos, line);
        // Applied: the incessant timer runs in the on-idle mode.
        QCOMPARE(f->Engine().Options().IdleTime, 12);
        QVERIFY(f->Engine().tmrIncessant().Enabled());

        Show();
        Find<QRadioButton>("rdbSmartCompressDisabled")->click();
        Find<QLineEdit>("edIncludingFilter")->setText("txt");
        Click("bbtnCancel");
        QVERIFY(!Dialog().isVisible());
        QCOMPARE(f->sim.Content(ini), written);
        QVERIFY(Find<QRadioButton>("rdbSmartCompressOnIdle")->isChecked());
        QVERIFY(Find<QLineEdit>("edIncludingFilter")->text() != "txt");
        QCOMPARE(f->Engine().Options().SmartCompressMode, TSmartCompressMode::scmOnIdle);
    }

    void defaultsThenCancelKeepTheSettingsFile() {
        Settings("IdleTime=9\r\nBeepOnComplete=0\r\n");
        const std::string before = f->sim.Content(ini);
        Show();
        Click("bbtnDefaults"); // answered No
        QCOMPARE(Field("sedIdleTime")->value(), 9);
        f->answerYes = true;
        Click("bbtnDefaults");
        QCOMPARE(f->questions.back(), f->Engine().MessageTexts().ResetToDefaults);
        QCOMPARE(Field("sedIdleTime")->value(), 1);
        QVERIFY(Find<QCheckBox>("cbBeepOnComplete")->isChecked());
        QCOMPARE(f->sim.Content(ini), before);
        QCOMPARE(f->Engine().Options().IdleTime, 9);

        Click("bbtnCancel");
        QCOMPARE(f->sim.Content(ini), before);
        Show();
        QCOMPARE(Field("sedIdleTime")->value(), 9);
    }

    void clearThenCancelKeepsTheExcludedFolders() {
        Settings("ExcludeFolders=D:\\Cache=\tD:\\Old=\r\n");
        Show();
        const std::vector<std::string> folders = f->Engine().Options().ExcludeFolders;
        Click("spdbtnClear"); // answered Cancel
        QCOMPARE(Items("vleExcludeFolders").size(), 2);
        f->answerYes = true;
        Click("spdbtnClear");
        QCOMPARE(f->questions.back(), f->Engine().MessageTexts().ClearExcludeFolders);
        QVERIFY(Items("vleExcludeFolders").isEmpty());
        // What a scan started meanwhile reads.
        QCOMPARE(f->Engine().Options().ExcludeFolders, folders);
        Click("bbtnCancel");
        Show();
        QCOMPARE(Items("vleExcludeFolders"), QStringList({"D:\\Cache", "D:\\Old"}));
    }

    void enabledStatesFollowTheRadioButtonsAndSizeBoxes() {
        Show();
        struct Case {
            const char* click;
            bool idle, delays, filtered;
        };
        for (const Case& c : {Case{"rdbSmartCompressOnIdle", true, false, true},
                              Case{"rdbSmartCompressInteractive", false, true, true},
                              Case{"cbMaxFileSizeFiltered", false, true, false},
                              Case{"rdbSmartCompressDisabled", false, false, false}}) {
            Click(c.click);
            QCOMPARE(Field("sedIdleTime")->isEnabled(), c.idle);
            for (const char* delay : {"lblCompressionDelay", "cbCompressionDelay",
                                      "lblCompressAgainDelay", "cbCompressAgainDelay"})
                QCOMPARE(Find(delay)->isEnabled(), c.delays);
            QCOMPARE(Field("sedMaxFileSizeFiltered")->isEnabled(), c.filtered);
            QVERIFY(Field("sedMaxFileSizeUnfiltered")->isEnabled());
        }
    }

    void numberFieldsAreBroughtIntoRangeWhenLeft_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::newRow("above") << "sedIdleTime"
                               << "99" << 15;
        QTest::newRow("below") << "sedMoveToNeverCompressDelay"
                               << "0" << 1;
        QTest::newRow("no number") << "sedIdleTime"
                                   << "x" << 1;
        QTest::newRow("empty") << "sedMaxFileSizeFiltered"
                               << "" << 1;
        QTest::newRow("in range") << "sedMaxFileSizeUnfiltered"
                                  << "2048" << 2048;
        QTest::newRow("too long") << "sedIdleTime"
                                  << "123" << 12; // two characters at most
    }
    void numberFieldsAreBroughtIntoRangeWhenLeft() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(int, value);
        Show();
        Click("rdbSmartCompressOnIdle");
        const QByteArray name = field.toLatin1();
        Type(name.constData(), typed);
        QFocusEvent left(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(Field(name.constData()), &left);
        QCOMPARE(Field(name.constData())->value(), value);
        QCOMPARE(Field(name.constData())->text(), QString::number(value));
        // A value set from the program is brought into range at once.
        Field(name.constData())->setValue(-5);
        QCOMPARE(Field(name.constData())->value(), 1);
    }

    void checkingCompressEncryptedAsksTheDesktopsQuestion() {
        Show();
        Click("cbCompressEncrypted"); // answered No
        QVERIFY(!Find<QCheckBox>("cbCompressEncrypted")->isChecked());
        // The described question says files will be decrypted; here they never are.
        QCOMPARE(f->questions, std::vector<std::string>({kDesktopDecryptQuestion}));
        f->answerYes = true;
        Click("cbCompressEncrypted");
        QVERIFY(Find<QCheckBox>("cbCompressEncrypted")->isChecked());
        Click("cbCompressEncrypted"); // unchecking asks nothing
        QCOMPARE(f->questions.size(), std::size_t(2));
        // A translated question is asked as the language file words it.
        f->Engine().MessageTexts().WarnDecrypt = "Dateien werden entschlüsselt!";
        Click("cbCompressEncrypted");
        QCOMPARE(f->questions.back(), std::string("Dateien werden entschlüsselt!"));

        Dialog().hide();
        f->questions.clear();
        Settings("CompressEncrypted=1\r\n");
        Show();
        QVERIFY(Find<QCheckBox>("cbCompressEncrypted")->isChecked());
        QVERIFY(f->questions.empty());
    }

    void aLanguageWithoutItsFileTakesARestartNotice() {
        f->sim.AddFileWithContent(f->folders.LanguagesDir + "German.xml", "<Language/>");
        Show();
        QCOMPARE(Items("cbxLanguage"), QStringList({"English (default)", "German"}));
        for (const int index : {1, 0}) {
            Find<QComboBox>("cbxLanguage")->setCurrentIndex(index);
            Q_EMIT Find<QComboBox>("cbxLanguage")->activated(index);
        }
        QCOMPARE(f->messages, std::vector<std::string>({kRestartToApplyLanguage}));
    }

    void excludedFoldersRefuseDuplicates() {
        Settings("ExcludeFolders=D:\\Cache=\r\n");
        Show();
        f->chosenFolder = "D:\\New";
        Click("spdbtnAdd");
        f->chosenFolder = "d:\\cache\\";
        Click("spdbtnAdd");
        QCOMPARE(Items("vleExcludeFolders"), QStringList({"D:\\Cache", "D:\\New"}));
        QCOMPARE(f->messages.size(), std::size_t(1));
        QVERIFY(f->messages[0].find("d:\\cache\\") != std::string::npos);
        // Edited in place to a name the list holds: the old name comes back.
        auto* list = Find<QListWidget>("vleExcludeFolders");
        list->item(1)->setText("D:\\CACHE");
        QCOMPARE(Items("vleExcludeFolders"), QStringList({"D:\\Cache", "D:\\New"}));
        QCOMPARE(f->messages.size(), std::size_t(2));
        list->item(1)->setText("D:\\Newer");
        list->setCurrentRow(0);
        Click("spdbtnDel");
        Click("bbtnOK");
        QCOMPARE(f->Engine().Options().ExcludeFolders, std::vector<std::string>({"D:\\Newer="}));
    }

    void helpOpensThePagesTopicAndTheCounterAddsBothLists() {
        Show();
        auto* pages = Find<QTabWidget>("pctrlOptions");
        for (const int page : {0, 1, 2}) {
            pages->setCurrentIndex(page);
            Click("bbtnHelp");
        }
        QCOMPARE(f->helpTopics, std::vector<std::string>(
                                    {"options_Main", "options_Compress", "options_Filtering"}));
        f->Engine().AddToList(TListKind::lkDelayed, "D:\\Docs\\a.txt");
        f->Engine().AddToList(TListKind::lkLag, "D:\\Docs\\b.txt");
        Dialog().UpdateDelayedCompressFilesCnt();
        QCOMPARE(Find<QLabel>("lblDelayedCompressFilesCnt")->text(), QString("(2)"));
        // The last page stays active between showings.
        Dialog().hide();
        Show();
        QCOMPARE(pages->currentIndex(), 2);
    }

    void escHidesTheDialogAndF1OpensThePagesHelp() {
        Show();
        Dialog().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Dialog()));
        Find<QTabWidget>("pctrlOptions")->setCurrentIndex(1);
        Find<QCheckBox>("cbBeepOnComplete")->setChecked(false);
        QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : &Dialog();
        QTest::keyClick(focused, Qt::Key_F1);
        QCOMPARE(f->helpTopics, std::vector<std::string>({"options_Compress"}));
        QTest::keyClick(focused, Qt::Key_Escape);
        QVERIFY(!Dialog().isVisible());
        QVERIFY(f->Window().isVisible()); // only the dialog hides
        QVERIFY(f->Engine().Options().BeepOnComplete);
    }

    void tryCompressNowFollowsTheScanAndRetriesTheWaitingFiles() {
        Show();
        QPushButton* button = Find<QPushButton>("btnTryCompressDelayed");
        f->Engine().SetScanning(true);
        QVERIFY(!button->isEnabled());
        f->Engine().SetScanning(false);
        QVERIFY(button->isEnabled());

        f->Engine().AddToList(TListKind::lkDelayed, "D:\\Docs\\a.txt");
        Dialog().UpdateDelayedCompressFilesCnt();
        QCOMPARE(Find<QLabel>("lblDelayedCompressFilesCnt")->text(), QString("(1)"));
        Click("btnTryCompressDelayed");
        QCOMPARE(f->Engine().CompressList(TListKind::lkDelayed)->Count(), std::size_t(0));
        QCOMPARE(Find<QLabel>("lblDelayedCompressFilesCnt")->text(), QString("(0)"));
    }

    void languageFilesTranslateTheDialogInTheDesktopsWording() {
        for (const auto& [file, language] :
             {std::pair{"English.xml", "English"}, std::pair{"Deutsch.xml", "Deutsch"}}) {
            f->sim.AddFileWithContent(f->folders.LanguagesDir + file, RepositoryLanguageFile(file));
            Settings("Language=" + std::string(language) + "\r\n");
            Show();
            Click("bbtnOK"); // applies the language to every window
            // The described captions name Windows; the layout's words stay.
            QCOMPARE(Find<QCheckBox>("cbAutostart")->text() == "Autostart with Windows", false);
            QVERIFY(!Find<QGroupBox>("grpbxSmartCompress")->title().contains("NTFS"));
        }
        QCOMPARE(Find<QPushButton>("bbtnDefaults")->text(), QString("Standard"));
        QCOMPARE(Find<QTabWidget>("pctrlOptions")->tabText(0), QString("Allgemein"));
        QCOMPARE(Find<QComboBox>("cbCompressAgainDelay")->itemText(0), QString("15 s"));
    }

private:
    TOptionsDialog& Dialog() { return f->Window().OptionsForm(); }
    template <typename T = QWidget> T* Find(const char* name) {
        return Dialog().findChild<T*>(QString::fromLatin1(name));
    }
    QSpinBox* Field(const char* name) { return Find<QSpinBox>(name); }
    void Click(const char* button) { Find<QAbstractButton>(button)->click(); }
    void Settings(const std::string& lines) {
        f->sim.AddFileWithContent(ini, "[GENERAL]\r\n" + lines);
    }
    void Show() {
        f->Window().miOptionsClick();
        QVERIFY(Dialog().isVisible());
    }
    void Type(const char* field, const QString& text) {
        QLineEdit* edit = Field(field)->findChild<QLineEdit*>();
        edit->selectAll();
        edit->del();
        for (const QChar c : text)
            QTest::keyClick(edit, c.toLatin1());
    }
    QStringList Items(const char* name) {
        QStringList items;
        if (auto* box = Find<QComboBox>(name))
            for (int i = 0; i < box->count(); ++i)
                items << box->itemText(i);
        if (auto* list = Find<QListWidget>(name))
            for (int i = 0; i < list->count(); ++i)
                items << list->item(i)->text();
        return items;
    }

    std::unique_ptr<TrayFixture> f;
    std::string ini;
};

QTEST_MAIN(OptionsDialogTest)
#include "options_dialog_test.moc"
