#include "engine/WaitingFiles.h"

#include "base/DateTime.h"
#include "base/TextCase.h"
#include "engine/FormatSize.h"
#include "engine/ListFileFormat.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

namespace brimble {

namespace {

constexpr TListKind kKinds[3] = {TListKind::lkLag, TListKind::lkDelayed, TListKind::lkNever};

std::string DateText(double value, bool withTime) {
    const DateParts p = DecodeDateTime(value);
    char text[32];
    if (withTime)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                      p.Minute);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    return text;
}

int KindOrder(TListKind kind) {
    return kind == TListKind::lkDelayed ? 0 : kind == TListKind::lkLag ? 1 : 2;
}

void ReplaceFirst(std::string& text, std::string_view what, const std::string& with) {
    if (const auto at = text.find(what); at != std::string::npos)
        text.replace(at, what.size(), with);
}

} // namespace

bool TWaitingFilesModel::ListsChanged() const {
    for (int i = 0; i < 3; ++i) {
        const TCompressList* list = FEngine.CompressList(kKinds[i]);
        if (list != FLists[i] || (list ? list->Revision() : 0) != FRevisions[i]) return true;
    }
    return false;
}

bool TWaitingFilesModel::Refresh(bool Force) {
    bool changed = Force;
    for (int i = 0; i < 3; ++i) {
        const TCompressList* list = FEngine.CompressList(kKinds[i]);
        const uint64_t revision = list ? list->Revision() : 0;
        if (list != FLists[i] || revision != FRevisions[i]) changed = true;
        FLists[i] = list;
        FRevisions[i] = revision;
    }
    if (!changed) return false;
    if (Force) FSizes.clear();
    Rebuild();
    return true;
}

void TWaitingFilesModel::Rebuild() {
    std::map<std::string, int64_t> sizes;
    std::swap(sizes, FSizes);
    FAll.clear();
    for (int i = 0; i < 3; ++i) {
        if (!FLists[i]) continue;
        for (const std::string& entry : *FLists[i]) {
            TWaitingFile row = MakeRow(kKinds[i], entry);
            if (row.Kind != TListKind::lkNever) {
                const auto known = sizes.find(row.Path);
                if (known != sizes.end()) {
                    row.Size = known->second;
                } else {
                    const auto found = FEngine.GetPlatform().FileSystem().FindEntry(row.Path);
                    row.Size = found ? found->Size : -1;
                }
                FSizes[row.Path] = row.Size;
                if (row.Size >= 0)
                    row.SizeText =
                        FormatSize(FEngine.GetPlatform().Locale(), fsAutomatic, -1, row.Size);
            }
            FAll.push_back(std::move(row));
        }
    }
    Apply();
}

TWaitingFile TWaitingFilesModel::MakeRow(TListKind Kind, const std::string& Entry) {
    TWaitingFile row;
    row.Kind = Kind;
    if (Kind == TListKind::lkNever) {
        row.Path = row.Name = Entry;
    } else {
        row.Path = std::string(TCompressList::NameOf(Entry));
        const std::string_view stamp = TCompressList::ValueOf(Entry);
        const char delimiter = FEngine.GetPlatform().FileSystem().PathDelimiter();
        const auto cut = row.Path.rfind(delimiter);
        row.Folder = cut == std::string::npos ? std::string() : row.Path.substr(0, cut + 1);
        row.Name = cut == std::string::npos ? row.Path : row.Path.substr(cut + 1);
        if (Kind == TListKind::lkDelayed) {
            row.Queued = ReadDayStamp(stamp);
            row.QueuedText = DateText(row.Queued, false);
        } else {
            const std::string separator = FEngine.GetPlatform().Locale().DecimalSeparator();
            row.Queued = ReadDateTimeStamp(stamp, separator).value_or(0);
            row.QueuedText = DateText(row.Queued, true);
        }
    }
    row.Reason = ReasonOf(Kind, row.Path);
    return row;
}

std::string TWaitingFilesModel::ReasonOf(TListKind Kind, const std::string& Path) const {
    const TMessageTexts& texts = FEngine.MessageTexts();
    switch (Kind) {
    case TListKind::lkNever:
        return texts.WaitNever;
    case TListKind::lkLag:
        return texts.WaitForDelay;
    case TListKind::lkDelayed:
        break;
    }
    if (std::string failure = FEngine.LastFailure(Path); !failure.empty()) return failure;
    return FEngine.Options().SmartCompressMode == TSmartCompressMode::scmOnIdle
               ? texts.WaitForIdle
               : texts.WaitForRetry;
}

void TWaitingFilesModel::SetFilter(std::string Text) {
    FFilter = std::move(Text);
    Apply();
}

void TWaitingFilesModel::Sort(TWaitingColumn Column, bool Ascending) {
    FSortColumn = Column;
    FAscending = Ascending;
    Apply();
}

void TWaitingFilesModel::Apply() {
    FRows.clear();
    const std::string filter = AsciiUpper(FFilter);
    for (const TWaitingFile& row : FAll)
        if (filter.empty() || AsciiUpper(row.Path).find(filter) != std::string::npos)
            FRows.push_back(row);
    const auto key = [this](const TWaitingFile& a, const TWaitingFile& b) {
        switch (FSortColumn) {
        case TWaitingColumn::wcName:
            return CompareText(a.Name, b.Name);
        case TWaitingColumn::wcFolder:
            return CompareText(a.Folder, b.Folder);
        case TWaitingColumn::wcSize:
            return a.Size < b.Size ? -1 : a.Size > b.Size ? 1 : 0;
        case TWaitingColumn::wcQueued:
            return a.Queued < b.Queued ? -1 : a.Queued > b.Queued ? 1 : 0;
        case TWaitingColumn::wcList:
            return KindOrder(a.Kind) - KindOrder(b.Kind);
        case TWaitingColumn::wcReason:
            return CompareText(a.Reason, b.Reason);
        }
        return 0;
    };
    std::stable_sort(FRows.begin(), FRows.end(), [&](const TWaitingFile& a, const TWaitingFile& b) {
        const int order = key(a, b);
        if (order != 0) return FAscending ? order < 0 : order > 0;
        return CompareText(a.Path, b.Path) < 0; // one order among equal keys
    });
}

bool TWaitingFilesModel::CanRetry() const {
    return !FEngine.ScanRunning() && !FEngine.ProcessingDelayedFiles() && !FEngine.ShuttingDown();
}

TWaitingActionResult TWaitingFilesModel::RetryNow(const std::vector<std::size_t>& Rows) {
    TWaitingActionResult result;
    if (!CanRetry()) return result;
    // Copied first: each compression changes the lists, and so the rows.
    std::vector<TWaitingFile> chosen;
    for (std::size_t row : Rows)
        if (row < FRows.size() && FRows[row].Kind != TListKind::lkNever)
            chosen.push_back(FRows[row]);
    for (const TWaitingFile& file : chosen) {
        // A lag entry goes as it would once its delay passed; a failure queues it as delayed.
        if (file.Kind == TListKind::lkLag) FEngine.RemoveFromList(TListKind::lkLag, file.Path);
        std::string error; // what went wrong beyond a failed compression
        try {
            FEngine.SmartCompress(file.Path);
        } catch (const std::exception& e) {
            error = e.what();
        }
        const TCompressList* delayed = FEngine.CompressList(TListKind::lkDelayed);
        const bool stillWaits = delayed && delayed->IndexOfName(file.Path) != TCompressList::npos;
        if (stillWaits || !error.empty()) {
            ++result.Failed;
            const std::string failure = error.empty() ? FEngine.LastFailure(file.Path) : error;
            result.LastFailure = failure.empty() ? FEngine.MessageTexts().WaitForRetry : failure;
        } else {
            ++result.Done;
        }
    }
    Refresh();
    return result;
}

TWaitingActionResult TWaitingFilesModel::Remove(const std::vector<std::size_t>& Rows) {
    TWaitingActionResult result;
    std::vector<TWaitingFile> chosen;
    for (std::size_t row : Rows)
        if (row < FRows.size()) chosen.push_back(FRows[row]);
    for (const TWaitingFile& file : chosen)
        ++(FEngine.RemoveFromList(file.Kind, file.Path) ? result.Done : result.Failed);
    Refresh();
    return result;
}

TWaitingActionResult TWaitingFilesModel::Never(const std::vector<std::size_t>& Rows) {
    TWaitingActionResult result;
    std::vector<std::string> chosen;
    for (std::size_t row : Rows)
        if (row < FRows.size() && FRows[row].Kind != TListKind::lkNever)
            chosen.push_back(FRows[row].Path);
    for (const std::string& path : chosen) {
        FEngine.NeverCompress(path);
        ++result.Done;
    }
    Refresh();
    return result;
}

std::vector<std::string> TWaitingFilesModel::VolumeLines() const {
    std::vector<std::string> lines;
    ILocale& locale = FEngine.GetPlatform().Locale();
    for (const TfrmBrimblemain::TVolumeWatch& volume : FEngine.VolumeWatches()) {
        if (volume.Root.empty()) {
            lines.push_back(volume.How); // a volume that cannot compress, with its reason
            continue;
        }
        std::string done = FEngine.MessageTexts().BackgroundDone;
        ReplaceFirst(done, "%d", std::to_string(volume.FilesCompressed));
        ReplaceFirst(done, "%s", FormatSize(locale, fsAutomatic, -1, volume.BytesSaved));
        lines.push_back(volume.Root + ": " + volume.How + "; " + done);
    }
    return lines;
}

} // namespace brimble
