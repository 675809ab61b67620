#pragma once

// What the options dialog shows, as plain values: which radio button is checked, the
// selected index of each drop-down list (-1 for none), the number fields in their own
// units, the text fields, the check boxes and the folder entries. A dialog only binds its
// widgets to these; the texts of the lists and the ranges of the number fields come from the
// settings table (OptionsTable.h).

#include "options/OptionsTable.h"
#include "options/uOptions.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

inline constexpr int kNoSelection = -1;

struct TOptionsDialogValues {
    // Page "Main"
    TSmartCompressMode SmartCompressMode = TSmartCompressMode::scmDisabled;
    int32_t IdleTime = 1; // minutes
    int CompressionDelayIndex = kNoSelection;
    int CompressAgainDelayIndex = kNoSelection;
    bool Autostart = false;
    bool StartHiddenToTray = false;
    int PriorityIndex = kNoSelection;
    bool BeepOnComplete = false;
    // The languages found, in list order; the dialog fills them before the values are read.
    std::vector<std::string> LanguageEntries;
    int LanguageIndex = kNoSelection;

    // Page "Compress"
    bool MaxFileSizeUnfilteredEnabled = false;
    int64_t MaxFileSizeUnfilteredMb = 1;
    bool MaxFileSizeFilteredEnabled = false;
    int64_t MaxFileSizeFilteredMb = 1;
    bool CompressEncrypted = false;
    bool CompressSharedFiles = false;
    bool CompressNewFiles = true;
    bool CompressNewFolders = false;
    int32_t CompressionLevel = 3;
    bool SmartCompressionLevel = false;
    bool IdleFromMachineLoad = false;
    int SmartDecompressIndex = kNoSelection;
    int32_t MoveToNeverCompressDelay = 1; // days

    // Page "Filtering"
    std::string IncludingFilter;
    std::string ExcludingFilter;
    bool CompressUnfiltered = false;
    bool ExcludeFolders = false;
    std::vector<std::string> ExcludeFolderEntries; // name=value, in order

    // Which controls are enabled follows the radio buttons and the size check boxes.
    bool IdleTimeEnabled() const { return SmartCompressMode == TSmartCompressMode::scmOnIdle; }
    bool DelaysEnabled() const { return SmartCompressMode == TSmartCompressMode::scmInteractive; }
};

// The entries of a drop-down list or radio group of the dialog, and the bounds and unit of a
// number field, by the setting's key. A key without them is a programming error
// (std::logic_error).
std::span<const TOptionChoice> DialogChoices(std::string_view key);
TOptionRange DialogRange(std::string_view key);

// Shows the record in the dialog. Sizes become whole megabytes (cut toward zero) and every
// number field is brought into its range; a delay not in its list selects the list's
// fallback entry; a level or ordinal not in its list selects nothing; a mode outside the
// three radio buttons leaves them as they were. LanguageEntries must already be filled.
void FillDialogValues(const TBrimbleOptions& options, TOptionsDialogValues& values);

// Takes the dialog's value of one setting into the record, as a save does key by key before
// writing it. Number fields are brought into their range first.
void TakeDialogValue(const TOptionsDialogValues& values, const TOptionSetting& setting,
                     TBrimbleOptions& options);
// Takes every value of the dialog into the record, in the order of the settings table.
void TakeDialogValues(const TOptionsDialogValues& values, TBrimbleOptions& options);

// The language entry to select for Language: the entry equal to it (case ignored), else
// "English", else the first entry; kNoSelection for an empty list.
int SelectLanguageEntry(std::span<const std::string> entries, std::string_view language);

} // namespace brimble
