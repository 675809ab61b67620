// The German language file against every window: each visible text of the five windows and
// the tray menu changes, but for the few that read the same in both languages.

#include "AboutBox.h"
#include "ErrorReport.h"
#include "OptionsDialog.h"
#include "TrayFixture.h"
#include "WaitingFilesWindow.h"
#include "options/LanguageFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <map>
#include <memory>
#include <set>

using namespace brimble;
using brimble::test::TrayFixture;

namespace {

using Texts = std::map<QString, QString>; // window/object -> visible text

void Collect(QWidget& window, const QString& name, Texts& texts) {
    texts[name + "/title"] = window.windowTitle();
    for (QLabel* label : window.findChildren<QLabel*>())
        if (!label->objectName().isEmpty() && !label->text().isEmpty())
            texts[name + "/" + label->objectName()] = label->text();
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (!button->objectName().isEmpty() && !button->text().isEmpty())
            texts[name + "/" + button->objectName()] = button->text();
    for (QGroupBox* group : window.findChildren<QGroupBox*>())
        if (!group->title().isEmpty()) texts[name + "/" + group->objectName()] = group->title();
    for (QTabWidget* tabs : window.findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i)
            texts[name + "/" + tabs->widget(i)->objectName()] = tabs->tabText(i);
    for (QTableView* table : window.findChildren<QTableView*>())
        for (int i = 0; i < table->model()->columnCount(); ++i)
            texts[name + "/" + table->objectName() + QString::number(i)] =
                table->model()->headerData(i, Qt::Horizontal).toString();
}

Texts VisibleTexts(TrayFixture& f) {
    Texts texts;
    Collect(f.Window(), "main", texts);
    for (QAction* action : f.Window().PopupMenu().actions())
        texts["menu/" + action->objectName()] = action->text();
    Collect(f.Window().OptionsForm(), "options", texts);
    Collect(f.Window().AboutBox(), "about", texts);
    Collect(f.Window().ErrorReport(), "report", texts);
    Collect(f.Window().WaitingFiles(), "waiting", texts);
    return texts;
}

} // namespace

class LanguageWindowsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theGermanFileChangesEveryVisibleText() {
        if (!LanguageFilesReadable()) QSKIP("this build cannot read language files");
        TrayFixture english;
        const Texts before = VisibleTexts(english);

        TrayFixture german;
        QVERIFY(german.ApplyLanguageFile(BRIMBLE_GERMAN_FILE));
        const Texts after = VisibleTexts(german);

        // The same in German, or not words at all: names, figures, links, units.
        const std::set<QString> same = {
            "main/title",
            "main/sbtnBrowseFolder",
            "main/lblFilesOnDiskT_Count",
            "main/lblFilesOnDiskT_Size",
            "main/lblFilesToBeCompressedT_Count",
            "main/lblFilesToBeCompressedT_Size",
            "main/lblCompressedFilesT_Count",
            "main/lblCompressedFilesT_Size",
            "main/lblCompressedFilesT_Percent",
            "main/lblPreservedSpaceT_Size",
            "options/bbtnOK",
            "options/lblDelayedCompressFilesCnt",
            "options/spdbtnAdd",
            "options/spdbtnDel",
            "options/spdbtnClear",
            "about/lblProductName",
            "about/lblWeb",
            "about/lblMail",
            "about/htlblWeb",
            "about/htlblMail",
            "about/bbtnOk",
            "waiting/lblFilter",
            "waiting/tvFiles0",
        };
        QStringList unchanged;
        for (const auto& [place, text] : before) {
            const auto translated = after.find(place);
            QVERIFY2(translated != after.end(), qPrintable(place));
            if (translated->second == text && !same.count(place))
                unchanged << place + " \"" + text + "\"";
        }
        QVERIFY2(unchanged.isEmpty(), qPrintable(unchanged.join(", ")));
    }
};

QTEST_MAIN(LanguageWindowsTest)
#include "language_windows_test.moc"
