#pragma once

// What the view of the files that wait shows and does, without drawing: the entries of the
// lag, delayed and never lists as rows (folder, size, the day queued, why it waits),
// filtered and sorted, the actions on chosen rows, and one line per volume on how it is
// watched. The lists may hold 100,000 entries: a refresh rebuilds only when one changed
// and looks a file's size up once.

#include "engine/uMain.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brimble {

enum class TWaitingColumn { wcName, wcFolder, wcSize, wcQueued, wcList, wcReason };
inline constexpr int kWaitingColumnCount = 6;

struct TWaitingFile {
    TListKind Kind = TListKind::lkDelayed;
    std::string Path;   // the full name; the bare name for the never list
    std::string Name;   // the file's name
    std::string Folder; // with its trailing delimiter; empty for the never list
    int64_t Size = -1;  // bytes; -1 when unknown or the file is gone
    std::string SizeText;
    double Queued = 0; // the entry's stamp as a date-time; 0 for the never list
    std::string QueuedText;
    std::string Reason;
};

// What an action did to the rows it was given.
struct TWaitingActionResult {
    int Done = 0;
    int Failed = 0;
    std::string LastFailure;
};

class TWaitingFilesModel {
public:
    explicit TWaitingFilesModel(TfrmBrimblemain& engine) : FEngine(engine) {}

    // Rebuilds the rows when a list changed since the last call (or Force); true when it did.
    bool Refresh(bool Force = false);
    // Whether a list changed since the last Refresh.
    bool ListsChanged() const;
    // Rows whose full name holds Text, letter case ignored; empty shows all.
    void SetFilter(std::string Text);
    void Sort(TWaitingColumn Column, bool Ascending);
    const std::vector<TWaitingFile>& Rows() const { return FRows; }
    // Total entries of the three lists, before the filter.
    std::size_t TotalCount() const { return FAll.size(); }

    // Compresses the files of the lag and delayed rows now, as a delayed run does; a file
    // that fails stays listed with the new reason. Never-list rows are left as they are.
    TWaitingActionResult RetryNow(const std::vector<std::size_t>& Rows);
    TWaitingActionResult Remove(const std::vector<std::size_t>& Rows);
    TWaitingActionResult Never(const std::vector<std::size_t>& Rows);
    // Retry needs the UI thread's engine free: no scan and no delayed run going on.
    bool CanRetry() const;

    // One line per volume: its root, how it is watched, what the background mode did.
    std::vector<std::string> VolumeLines() const;

private:
    void Rebuild();
    void Apply();
    TWaitingFile MakeRow(TListKind Kind, const std::string& Entry);
    std::string ReasonOf(TListKind Kind, const std::string& Path) const;

    TfrmBrimblemain& FEngine;
    uint64_t FRevisions[3] = {~0ULL, ~0ULL, ~0ULL};
    const TCompressList* FLists[3] = {nullptr, nullptr, nullptr};
    std::vector<TWaitingFile> FAll;
    std::vector<TWaitingFile> FRows;
    std::map<std::string, int64_t> FSizes; // looked up once per file
    std::string FFilter;
    TWaitingColumn FSortColumn = TWaitingColumn::wcFolder;
    bool FAscending = true;
};

} // namespace brimble
