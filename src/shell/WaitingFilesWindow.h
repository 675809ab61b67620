#pragma once

// The window of the files that wait: the lag, delayed and never lists as one sortable,
// filterable table with the actions on the chosen rows, and above it how each volume is
// watched. What it shows and does is the engine's TWaitingFilesModel; this only draws it.

#include "Desktop.h"
#include "engine/WaitingFiles.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace brimble {

class QtUiLoop;
struct TLanguageNode;
class TTranslationReport;

// The engine model's rows as a Qt table.
class TWaitingFilesTable final : public QAbstractTableModel {
public:
    explicit TWaitingFilesTable(QObject* parent) : QAbstractTableModel(parent) {}
    void SetModel(TWaitingFilesModel* model);
    // Runs a change of the model's rows, with the view told before and after.
    void Change(const std::function<void()>& change);
    void SetColumnTitles(const std::vector<QString>& titles);
    // The lists' names, by TListKind.
    void SetListNames(const QStringList& names);
    const QStringList& ListNames() const { return FListNames; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    TWaitingFilesModel* FModel = nullptr;
    std::vector<QString> FTitles;
    QStringList FListNames = {QStringLiteral("lag"), QStringLiteral("delayed"),
                              QStringLiteral("never")};
};

class TWaitingFilesWindow final : public QWidget {
public:
    TWaitingFilesWindow(QtUiLoop& loop, IDesktop& desktop);
    ~TWaitingFilesWindow() override;

    // The engine whose lists these are; null detaches (before the engine goes).
    void Attach(TfrmBrimblemain* engine);
    // Shows the window with the lists as they are now.
    void ShowWindow();
    void Translate(const TLanguageNode& element, TTranslationReport& report);

    // The rows chosen in the table, as indexes into the model's rows.
    std::vector<std::size_t> ChosenRows() const;
    TWaitingFilesModel* Model() { return FModel.get(); }
    QTableView& Table() { return *FTable; }
    QLineEdit& Filter() { return *FFilter; }
    QLabel& Volumes() { return *FVolumes; }
    QLabel& Result() { return *FResult; }
    QPushButton& RetryButton() { return *FRetry; }
    QPushButton& RemoveButton() { return *FRemove; }
    QPushButton& NeverButton() { return *FNever; }
    QPushButton& OpenFolderButton() { return *FOpenFolder; }

    // The buttons' handlers, also for tests.
    void btnRetryClick();
    void btnRemoveClick();
    void btnNeverClick();
    void btnOpenFolderClick();
    // What the timer does each second while the window shows.
    void RefreshNow(bool Force = false);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void Act(TWaitingActionResult (TWaitingFilesModel::*action)(const std::vector<std::size_t>&));
    void UpdateButtons();

    QtUiLoop& FLoop;
    IDesktop& FDesktop;
    TfrmBrimblemain* FEngine = nullptr;
    std::unique_ptr<TWaitingFilesModel> FModel;
    TWaitingFilesTable* FTableModel = nullptr; // children of the window
    QLabel* FVolumes = nullptr;
    QLineEdit* FFilter = nullptr;
    QTableView* FTable = nullptr;
    QLabel* FCount = nullptr;
    QLabel* FResult = nullptr;
    QPushButton* FRetry = nullptr;
    QPushButton* FRemove = nullptr;
    QPushButton* FNever = nullptr;
    QPushButton* FOpenFolder = nullptr;
    QPushButton* FClose = nullptr;
    QTimer* FRefreshTimer = nullptr;
    // The words of a count and of an action's outcome, translatable with the window.
    QString FCountText = QStringLiteral("%1 of %2 entries");
    QString FDoneText = QStringLiteral("%1 done, %2 failed");
};

} // namespace brimble
