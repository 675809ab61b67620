// The never, delayed and lag lists: loading at start, saving at exit, the purge that
// drops stale entries and retires old delayed files, and the edits other parts make.

#include "base/DateTime.h"
#include "engine/ListFileFormat.h"
#include "engine/uMain.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string_view>
#include <utility>

namespace brimble {

namespace {

constexpr const char* NeverCompressListName = "NeverCompress.lst";
constexpr const char* DelayedCompressListName = "DelayedCompress.lst";
constexpr const char* LagCompressListName = "LagCompress.lst";

// The tick purge's sweeps over the delayed list's files (the timer ticks once a second).
constexpr uint32_t kSweepMilliseconds = 60'000;
constexpr std::size_t kSweepTicks = kSweepMilliseconds / 1000;
// Well below a millisecond of file look-ups a tick; a list of 100,000 files is swept in
// about eight minutes instead of one.
constexpr std::size_t kMostLookUpsPerTick = 200;

// The last component of a path: the name a never-list entry matches.
std::string_view BareName(std::string_view path, char delimiter) {
    const auto slash = path.find_last_of(delimiter);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

} // namespace

void TfrmBrimblemain::LoadCompressList(const std::string& ListFileName, std::string& FileNameField,
                                       std::unique_ptr<TCompressList>& List, bool Purge,
                                       bool CheckAge) {
    // The lag and delayed lists are shared with the background passes.
    const std::lock_guard lock(FCriticalSection);
    IFileSystem& fs = FPlatform.FileSystem();
    FileNameField = FFolders.UserDataDir + fs.PathDelimiter() + ListFileName;
    List = std::make_unique<TCompressList>(fs.PathRules());
    FUnreadableListFiles.erase(FileNameField);
    FTickPurge = {}; // a new list: the tick purge starts over

    // Whatever is at the path is read (a FIFO or a folder fails and is logged), so that the
    // exit never replaces what was there with a list of its own.
    if (fs.FileExists(FileNameField) || fs.FindEntry(FileNameField)) {
        std::string bytes;
        if (const OsResult read = fs.ReadWholeFile(FileNameField, bytes); !read) {
            // Remembered so that the exit does not replace the file with an empty list.
            FUnreadableListFiles.insert(FileNameField);
            Log("Cannot read list file " + Quoted(LogName(FileNameField)) + ": " +
                    fs.SysErrorMessage(read.code()),
                llNotice);
        } else {
            for (std::string& entry : DecodeListFile(bytes, FPlatform.Locale()))
                List->Add(std::move(entry));
        }
    }
    if (Purge) PurgeCompressList(*List, CheckAge);
}

void TfrmBrimblemain::SaveCompressList(std::unique_ptr<TCompressList>& List,
                                       const std::string& FileName, bool Purge, bool CheckAge) {
    const std::lock_guard lock(FCriticalSection);
    if (!List) return; // saved and released already
    // No file name: the list was never loaded, so its file was never read either.
    if (FileName.empty()) {
        List.reset();
        return;
    }
    if (Purge) PurgeCompressList(*List, CheckAge);

    IFileSystem& fs = FPlatform.FileSystem();
    if (FUnreadableListFiles.contains(FileName)) {
        Log("List file " + Quoted(LogName(FileName)) + " not saved: it could not be read at start",
            llNotice);
    } else if (!List->Empty()) {
        const EncodedListFile file = EncodeListFile(
            std::vector<std::string>(List->begin(), List->end()), FPlatform.Locale());
        if (!file.Skipped.empty())
            Log(std::to_string(file.Skipped.size()) +
                    " entries with a line break left out of list file " + Quoted(LogName(FileName)),
                llNotice);
        if (const OsResult written = fs.ReplaceFileAtomically(FileName, file.Bytes); !written)
            Log("Cannot write list file " + Quoted(LogName(FileName)) + ": " +
                    fs.SysErrorMessage(written.code()),
                llNotice);
    } else if (fs.FileExists(FileName)) {
        if (const OsResult deleted = fs.EraseFile(FileName); !deleted)
            Log("Cannot delete list file " + Quoted(LogName(FileName)) + ": " +
                    fs.SysErrorMessage(deleted.code()),
                llNotice);
    }
    List.reset();
}

void TfrmBrimblemain::PurgeCompressList(TCompressList& List, bool CheckAge, bool CheckExistence) {
    const std::lock_guard lock(FCriticalSection);
    if (List.Empty()) return;
    IFileSystem& fs = FPlatform.FileSystem();
    // The option is read now, not at start: the settings may have been loaded since.
    const int64_t today = DayNumber(FPlatform.Clock().Now());
    const int64_t maxAge = FOptions->MoveToNeverCompressDelay;
    // A never list that could not be read is not saved: aged entries moved there would be
    // lost, so they stay where they are until it can be read again.
    const bool neverListSaved =
        FNeverCompressList && !FUnreadableListFiles.contains(FNeverCompressListFileName);

    for (std::size_t i = List.Count(); i-- > 0;) {
        const std::string entry = List[i];
        const std::string name(TCompressList::NameOf(entry));
        const std::string bareName(BareName(name, fs.PathDelimiter()));
        if (CheckExistence && !fs.FileExists(name)) {
            List.Delete(i);
        } else if (FNeverCompressList && FNeverCompressList->Contains(bareName)) {
            List.Delete(i);
        } else if (CheckAge && neverListSaved &&
                   today - ReadDayStamp(TCompressList::ValueOf(entry)) > maxAge) {
            FNeverCompressList->Add(bareName);
            List.Delete(i);
        }
    }
}

void TfrmBrimblemain::PurgeDelayedOnTick() {
    const std::lock_guard lock(FCriticalSection);
    if (!FDelayedCompressList) return;
    TCompressList& list = *FDelayedCompressList;
    TTickPurge& purge = FTickPurge;
    // The never list and the age rule need no look at the disk, and what they decide
    // changes only with the day, the never list or the age limit: over the whole list then.
    const auto neverRevision = [this] {
        return FNeverCompressList ? FNeverCompressList->Revision() : 0;
    };
    const int64_t today = DayNumber(FPlatform.Clock().Now());
    const int32_t maxAge = FOptions->MoveToNeverCompressDelay;
    if (today != purge.Day || neverRevision() != purge.NeverRevision || maxAge != purge.MaxAge) {
        PurgeCompressList(list, true, false);
        purge.Day = today;
        purge.NeverRevision = neverRevision(); // after the names the age rule just moved
        purge.MaxAge = maxAge;
    }
    // Whether the files are still there: sweeps at least a minute apart, a share of the list
    // each tick, so that no file is looked at more than once a minute and a long list costs
    // a bounded number of look-ups a tick (its sweep then takes longer).
    const uint32_t now = FPlatform.Clock().TickCount();
    if (purge.SweepPos >= list.Count()) {
        if (purge.Swept && now - purge.SweepStart < kSweepMilliseconds) return;
        purge.Swept = true;
        purge.SweepStart = now;
        purge.SweepPos = 0;
        // Set for the whole sweep: the entries it drops must not slow it down.
        purge.LookUpsPerTick = std::clamp<std::size_t>(
            (list.Count() + kSweepTicks - 1) / kSweepTicks, 1, kMostLookUpsPerTick);
    }
    IFileSystem& fs = FPlatform.FileSystem();
    for (std::size_t budget = purge.LookUpsPerTick; budget > 0 && purge.SweepPos < list.Count();
         --budget) {
        if (fs.FileExists(std::string(TCompressList::NameOf(list[purge.SweepPos]))))
            ++purge.SweepPos;
        else
            list.Delete(purge.SweepPos);
    }
}

bool TfrmBrimblemain::AddToCompressList(TCompressList& List, const std::string& FileName,
                                        bool DayStamp) {
    const std::lock_guard lock(FCriticalSection);
    // An entry keeps the stamp of its first addition.
    if (List.IndexOfName(FileName) != TCompressList::npos) return false;
    const TDateTime now = FPlatform.Clock().Now();
    return List.Add(
        DayStamp ? FormatDayStamp(FileName, DayNumber(now))
                 : FormatDateTimeStamp(FileName, now, FPlatform.Locale().DecimalSeparator()));
}

const std::unique_ptr<TCompressList>& TfrmBrimblemain::ListOf(TListKind Kind) const {
    switch (Kind) {
    case TListKind::lkLag:
        return FLagCompressList;
    case TListKind::lkDelayed:
        return FDelayedCompressList;
    case TListKind::lkNever:
        break;
    }
    return FNeverCompressList;
}

std::unique_ptr<TCompressList>& TfrmBrimblemain::ListOf(TListKind Kind) {
    return const_cast<std::unique_ptr<TCompressList>&>(std::as_const(*this).ListOf(Kind));
}

const TCompressList* TfrmBrimblemain::CompressList(TListKind Kind) const {
    return ListOf(Kind).get();
}

bool TfrmBrimblemain::AddToList(TListKind Kind, const std::string& FileName) {
    const std::lock_guard lock(FCriticalSection);
    TCompressList* list = ListOf(Kind).get();
    if (!list) return false; // saved and released at exit
    if (Kind != TListKind::lkNever)
        return AddToCompressList(*list, FileName, Kind == TListKind::lkDelayed);
    const std::string_view name = BareName(FileName, FPlatform.FileSystem().PathDelimiter());
    return !name.empty() && list->Add(std::string(name));
}

bool TfrmBrimblemain::RemoveFromList(TListKind Kind, const std::string& FileName) {
    const std::lock_guard lock(FCriticalSection);
    TCompressList* list = ListOf(Kind).get();
    if (!list) return false;
    const auto find = [&] {
        return Kind == TListKind::lkNever
                   ? list->IndexOf(BareName(FileName, FPlatform.FileSystem().PathDelimiter()))
                   : list->IndexOfName(FileName);
    };
    bool removed = false;
    // A list file edited by hand may name a file twice, with two stamps.
    for (std::size_t at = find(); at != TCompressList::npos; at = find()) {
        list->Delete(at);
        removed = true;
    }
    return removed;
}

void TfrmBrimblemain::NeverCompress(const std::string& FileName) {
    const std::lock_guard lock(FCriticalSection);
    RemoveFromList(TListKind::lkLag, FileName);
    RemoveFromList(TListKind::lkDelayed, FileName);
    AddToList(TListKind::lkNever, FileName);
}

void TfrmBrimblemain::PurgeList(TListKind Kind, bool CheckAge, bool CheckExistence) {
    const std::lock_guard lock(FCriticalSection);
    if (TCompressList* list = ListOf(Kind).get())
        PurgeCompressList(*list, CheckAge, CheckExistence);
}

void TfrmBrimblemain::TryRemoveFromDelayedList(const std::string& FileName) {
    const std::lock_guard lock(FCriticalSection);
    if (!FDelayedCompressList) return;
    try {
        const std::size_t index = FDelayedCompressList->IndexOfName(FileName);
        if (index == TCompressList::npos) return;
        FDelayedCompressList->Delete(index);
    } catch (const std::exception&) {
        Log("[TryRemoveFromDelayedList]: Wrong index of " + Quoted(LogName(FileName)), llNotice);
        return;
    }
    Log("Removed from delayed compress list: " + Quoted(LogName(FileName)), llTrace);
}

void TfrmBrimblemain::LoadLists() {
    const std::lock_guard lock(FCriticalSection);
    // The never list first: the purges below consult it and the age rule adds to it.
    LoadCompressList(NeverCompressListName, FNeverCompressListFileName, FNeverCompressList, false,
                     false);
    FNeverCompressList->Add("NTLDR");
    FNeverCompressList->Add("BOOTMGR");
    LoadCompressList(DelayedCompressListName, FDelayedCompressListFileName, FDelayedCompressList,
                     true, true);
    LoadCompressList(LagCompressListName, FLagCompressListFileName, FLagCompressList, true, false);
}

void TfrmBrimblemain::SaveLists() {
    const std::lock_guard lock(FCriticalSection);
    if (FEstimateOnly) return; // the files stay as they were, purge or not
    SaveCompressList(FLagCompressList, FLagCompressListFileName, true, false);
    SaveCompressList(FDelayedCompressList, FDelayedCompressListFileName, true, true);
    // Last, so that the names the age rule has just moved are written too.
    SaveCompressList(FNeverCompressList, FNeverCompressListFileName, false, false);
}

} // namespace brimble
