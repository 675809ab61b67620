#include "WaitingFilesWindow.h"

#include "MainWindow.h"
#include "QtText.h"
#include "QtUiLoop.h"
#include "WidgetTranslation.h"
#include "engine/FormatSize.h"
#include "options/LanguageFile.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace brimble {

namespace {} // namespace

// --- the table ---

void TWaitingFilesTable::SetModel(TWaitingFilesModel* model) {
    beginResetModel();
    FModel = model;
    endResetModel();
}

void TWaitingFilesTable::Change(const std::function<void()>& change) {
    beginResetModel();
    // Told even when the change fails half-way: the view must not keep stale rows.
    struct TEnd {
        TWaitingFilesTable& Table;
        ~TEnd() { Table.endResetModel(); }
    } end{*this};
    change();
}

void TWaitingFilesTable::SetListNames(const QStringList& names) {
    Change([&] { FListNames = names; });
}

void TWaitingFilesTable::SetColumnTitles(const std::vector<QString>& titles) {
    FTitles = titles;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kWaitingColumnCount - 1);
}

int TWaitingFilesTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FModel ? 0 : static_cast<int>(FModel->Rows().size());
}

int TWaitingFilesTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kWaitingColumnCount;
}

QVariant TWaitingFilesTable::data(const QModelIndex& index, int role) const {
    if (!FModel || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= FModel->Rows().size())
        return {};
    const TWaitingFile& row = FModel->Rows()[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<TWaitingColumn>(index.column());
    if (role == Qt::TextAlignmentRole && column == TWaitingColumn::wcSize)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole)
        return Q(column == TWaitingColumn::wcReason ? row.Reason : row.Path);
    if (role != Qt::DisplayRole) return {};
    switch (column) {
    case TWaitingColumn::wcName:
        return Q(row.Name);
    case TWaitingColumn::wcFolder:
        return Q(row.Folder);
    case TWaitingColumn::wcSize:
        return Q(row.SizeText);
    case TWaitingColumn::wcQueued:
        return Q(row.QueuedText);
    case TWaitingColumn::wcList:
        return FListNames.value(static_cast<int>(row.Kind));
    case TWaitingColumn::wcReason:
        return Q(row.Reason);
    }
    return {};
}

QVariant TWaitingFilesTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || static_cast<std::size_t>(section) >= FTitles.size()) return {};
    return FTitles[static_cast<std::size_t>(section)];
}

void TWaitingFilesTable::sort(int column, Qt::SortOrder order) {
    if (!FModel || column < 0 || column >= kWaitingColumnCount) return;
    beginResetModel();
    FModel->Sort(static_cast<TWaitingColumn>(column), order == Qt::AscendingOrder);
    endResetModel();
}

// --- the window ---

TWaitingFilesWindow::TWaitingFilesWindow(QtUiLoop& loop, IDesktop& desktop)
    : QWidget(nullptr, Qt::Window), FLoop(loop), FDesktop(desktop) {
    setObjectName(QStringLiteral("frmWaitingFiles"));
    setWindowTitle(QStringLiteral("Files that wait"));
    setWindowIcon(ProgramPicture("brimble"));
    resize(820, 460);

    auto* layout = new QVBoxLayout(this);
    FVolumes = new QLabel(this);
    FVolumes->setObjectName(QStringLiteral("lblVolumes"));
    FVolumes->setWordWrap(true);
    FVolumes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(FVolumes);

    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(QStringLiteral("Filter:"), this);
    filterLabel->setObjectName(QStringLiteral("lblFilter"));
    FFilter = new QLineEdit(this);
    FFilter->setObjectName(QStringLiteral("edFilter"));
    FFilter->setClearButtonEnabled(true);
    filterLabel->setBuddy(FFilter);
    FCount = new QLabel(this);
    FCount->setObjectName(QStringLiteral("lblCount"));
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(FFilter, 1);
    filterRow->addWidget(FCount);
    layout->addLayout(filterRow);

    FTableModel = new TWaitingFilesTable(this);
    FTableModel->SetColumnTitles({QStringLiteral("Name"), QStringLiteral("Folder"),
                                  QStringLiteral("Size"), QStringLiteral("Queued"),
                                  QStringLiteral("List"), QStringLiteral("Why it waits")});
    FTable = new QTableView(this);
    FTable->setObjectName(QStringLiteral("tvFiles"));
    FTable->setModel(FTableModel);
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FTable->setSortingEnabled(true);
    FTable->sortByColumn(static_cast<int>(TWaitingColumn::wcFolder), Qt::AscendingOrder);
    FTable->verticalHeader()->hide();
    FTable->verticalHeader()->setDefaultSectionSize(FTable->fontMetrics().height() + 6);
    FTable->horizontalHeader()->setStretchLastSection(true);
    FTable->setWordWrap(false);
    int column = 0;
    for (const int width : {140, 170, 80, 130, 70})
        FTable->setColumnWidth(column++, width);
    layout->addWidget(FTable, 1);

    FResult = new QLabel(this);
    FResult->setObjectName(QStringLiteral("lblResult"));
    FResult->setWordWrap(true);
    layout->addWidget(FResult);

    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    FRetry = button("btnRetry", "Retry now");
    FRemove = button("btnRemove", "Remove from list");
    FNever = button("btnNever", "Never compress");
    FOpenFolder = button("btnOpenFolder", "Open folder");
    buttons->addStretch(1);
    FClose = button("btnClose", "Close");
    layout->addLayout(buttons);

    connect(FRetry, &QPushButton::clicked, this, &TWaitingFilesWindow::btnRetryClick);
    connect(FRemove, &QPushButton::clicked, this, &TWaitingFilesWindow::btnRemoveClick);
    connect(FNever, &QPushButton::clicked, this, &TWaitingFilesWindow::btnNeverClick);
    connect(FOpenFolder, &QPushButton::clicked, this, &TWaitingFilesWindow::btnOpenFolderClick);
    connect(FClose, &QPushButton::clicked, this, &QWidget::hide);
    connect(FFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!FModel) return;
        FTableModel->Change([&] { FModel->SetFilter(S(text)); });
        UpdateButtons();
    });
    connect(FTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateButtons(); });

    FRefreshTimer = new QTimer(this);
    FRefreshTimer->setInterval(1000);
    connect(FRefreshTimer, &QTimer::timeout, this, [this] { RefreshNow(); });
    UpdateButtons();
}

TWaitingFilesWindow::~TWaitingFilesWindow() {
    FTableModel->SetModel(nullptr);
}

void TWaitingFilesWindow::Attach(TfrmBrimblemain* engine) {
    FEngine = engine;
    FTableModel->SetModel(nullptr);
    FModel = engine ? std::make_unique<TWaitingFilesModel>(*engine) : nullptr;
    if (!FModel) FRefreshTimer->stop();
    FTableModel->SetModel(FModel.get());
}

void TWaitingFilesWindow::ShowWindow() {
    RefreshNow(true);
    show();
    raise();
    activateWindow();
    FRefreshTimer->start();
}

void TWaitingFilesWindow::hideEvent(QHideEvent* event) {
    FRefreshTimer->stop();
    QWidget::hideEvent(event);
}

void TWaitingFilesWindow::RefreshNow(bool Force) {
    if (!FModel || !FEngine || FEngine->ShuttingDown()) return;
    RunGuarded(FLoop, [&] {
        // The chosen rows stay chosen across a rebuild, by their entries.
        std::set<std::pair<int, std::string>> chosen;
        for (std::size_t row : ChosenRows())
            chosen.insert({static_cast<int>(FModel->Rows()[row].Kind), FModel->Rows()[row].Path});
        // A reset of the table drops the selection: only when the rows really change.
        const bool rebuilt = Force || FModel->ListsChanged();
        if (rebuilt) FTableModel->Change([&] { FModel->Refresh(Force); });
        if (rebuilt && !chosen.empty()) {
            QItemSelection selection;
            for (std::size_t i = 0; i < FModel->Rows().size(); ++i) {
                const TWaitingFile& row = FModel->Rows()[i];
                if (chosen.count({static_cast<int>(row.Kind), row.Path}) != 0) {
                    const int r = static_cast<int>(i);
                    selection.select(FTableModel->index(r, 0),
                                     FTableModel->index(r, kWaitingColumnCount - 1));
                }
            }
            FTable->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        }
        QString lines;
        for (const std::string& line : FModel->VolumeLines())
            lines += (lines.isEmpty() ? QString() : QStringLiteral("\n")) + Q(line);
        FVolumes->setText(lines);
        FCount->setText(FCountText.arg(FModel->Rows().size()).arg(FModel->TotalCount()));
    });
    UpdateButtons();
}

std::vector<std::size_t> TWaitingFilesWindow::ChosenRows() const {
    std::vector<std::size_t> rows;
    if (!FModel) return rows;
    for (const QModelIndex& index : FTable->selectionModel()->selectedRows())
        if (index.row() >= 0 && static_cast<std::size_t>(index.row()) < FModel->Rows().size())
            rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TWaitingFilesWindow::UpdateButtons() {
    const std::vector<std::size_t> rows = ChosenRows();
    const bool any = !rows.empty();
    const bool anyFile = std::any_of(rows.begin(), rows.end(), [this](std::size_t row) {
        return FModel->Rows()[row].Kind != TListKind::lkNever;
    });
    FRetry->setEnabled(anyFile && FModel && FModel->CanRetry());
    FRemove->setEnabled(any);
    FNever->setEnabled(anyFile);
    FOpenFolder->setEnabled(anyFile);
}

void TWaitingFilesWindow::Act(
    TWaitingActionResult (TWaitingFilesModel::*action)(const std::vector<std::size_t>&)) {
    if (!FModel || !FEngine || FEngine->ShuttingDown()) return;
    RunGuarded(FLoop, [&] {
        const std::vector<std::size_t> rows = ChosenRows();
        TWaitingActionResult result;
        FTableModel->Change([&] { result = ((*FModel).*action)(rows); });
        QString text = FDoneText.arg(result.Done).arg(result.Failed);
        if (!result.LastFailure.empty()) text += QStringLiteral(": ") + Q(result.LastFailure);
        FResult->setText(text);
    });
    RefreshNow();
}

void TWaitingFilesWindow::btnRetryClick() {
    Act(&TWaitingFilesModel::RetryNow);
}

void TWaitingFilesWindow::btnRemoveClick() {
    Act(&TWaitingFilesModel::Remove);
}

void TWaitingFilesWindow::btnNeverClick() {
    Act(&TWaitingFilesModel::Never);
}

void TWaitingFilesWindow::btnOpenFolderClick() {
    if (!FModel) return;
    std::set<std::string> folders;
    for (std::size_t row : ChosenRows())
        if (!FModel->Rows()[row].Folder.empty()) folders.insert(FModel->Rows()[row].Folder);
    for (const std::string& folder : folders)
        FDesktop.OpenLink(S(QUrl::fromLocalFile(Q(folder)).toString()));
}

void TWaitingFilesWindow::Translate(const TLanguageNode& element, TTranslationReport& report) {
    TranslateWidgets(*this, element, report, [this](const TLanguageNode& child) {
        const std::string* caption = child.Attribute("Caption");
        if (child.Name == "lblCount") {
            if (caption) FCountText = Q(*caption);
            return true;
        }
        if (child.Name == "lblResult") {
            if (caption) FDoneText = Q(*caption);
            return true;
        }
        if (child.Name == "tvFiles") {
            // Its Items are the names of the lists, in the order lag, delayed, never.
            if (const TLanguageNode* items = child.Child("Items"))
                FTableModel->SetListNames(TranslatedList(*items, FTableModel->ListNames()));
            if (const TLanguageNode* titles = child.Child("TitleCaptions")) {
                std::vector<QString> texts(static_cast<std::size_t>(kWaitingColumnCount));
                for (int i = 0; i < kWaitingColumnCount; ++i)
                    texts[static_cast<std::size_t>(i)] =
                        FTableModel->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
                const QStringList translated =
                    TranslatedList(*titles, QStringList(texts.begin(), texts.end()));
                FTableModel->SetColumnTitles({translated.begin(), translated.end()});
            }
            return true;
        }
        return false;
    });
    if (FModel) RefreshNow(true);
}

} // namespace brimble
