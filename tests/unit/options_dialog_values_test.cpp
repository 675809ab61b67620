#include "options/OptionsDialogValues.h"
#include "options/OptionsStorage.h"
#include "options/OptionsTable.h"
#include "options/uOptions.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble {
namespace {

using O = TBrimbleOptions;
using V = TOptionsDialogValues;

constexpr int64_t kMb = 1048576;

// A setting's value as the settings file would hold it, so two records compare key by key.
std::string StoredText(const O& options, const TOptionSetting& setting) {
    switch (setting.Form) {
    case TOptionForm::String:
        return TextField(options, setting);
    case TOptionForm::FolderList:
        return JoinFolderList(ListField(options, setting));
    default:
        return std::to_string(GetStoredNumber(options, setting));
    }
}

void ExpectSameSettings(const O& actual, const O& expected) {
    for (const TOptionSetting& setting : OptionSettings())
        EXPECT_EQ(StoredText(actual, setting), StoredText(expected, setting)) << setting.Key;
    // The stored forms of the delays are indexes; the record's times must match too.
    EXPECT_EQ(actual.CompressionDelay, expected.CompressionDelay);
    EXPECT_EQ(actual.CompressAgainDelay, expected.CompressAgainDelay);
}

O Defaults() {
    O options;
    ApplyDefaults(options);
    return options;
}

const std::vector<std::string> kLanguages = {"English (default)", "German"};

// The record after it was shown in a fresh dialog and taken back.
O RoundTrip(const O& options, V& values) {
    values.LanguageEntries = kLanguages;
    FillDialogValues(options, values);
    O back;
    TakeDialogValues(values, back);
    return back;
}

std::string_view EntryAt(std::string_view key, int index) {
    return DialogChoices(key)[static_cast<std::size_t>(index)].Text;
}

TEST(OptionsDialogValues, DefaultsShowAsTheDialogsInitialStateAndComeBackUnchanged) {
    const O defaults = Defaults();
    V values;
    const O back = RoundTrip(defaults, values);

    EXPECT_EQ(values.SmartCompressMode, TSmartCompressMode::scmDisabled);
    EXPECT_FALSE(values.IdleTimeEnabled());
    EXPECT_FALSE(values.DelaysEnabled());
    EXPECT_EQ(values.IdleTime, 1);
    EXPECT_EQ(EntryAt("CompressionDelay", values.CompressionDelayIndex), "20 sec");
    EXPECT_EQ(EntryAt("CompressAgainDelay", values.CompressAgainDelayIndex), "5 min");
    EXPECT_EQ(EntryAt("Priority", values.PriorityIndex), "Normal");
    EXPECT_EQ(EntryAt("SmartDecompress", values.SmartDecompressIndex), "By Exclude-list only");
    EXPECT_EQ(values.LanguageIndex, 0); // no language chosen: the first entry
    EXPECT_TRUE(values.MaxFileSizeFilteredEnabled);
    EXPECT_EQ(values.MaxFileSizeFilteredMb, 256);
    EXPECT_TRUE(values.MaxFileSizeUnfilteredEnabled);
    EXPECT_EQ(values.MaxFileSizeUnfilteredMb, 64);
    EXPECT_EQ(values.MoveToNeverCompressDelay, 1);
    EXPECT_TRUE(values.BeepOnComplete);
    EXPECT_TRUE(values.CompressUnfiltered);
    EXPECT_TRUE(values.ExcludeFolders);
    EXPECT_EQ(values.IncludingFilter, kDefaultFilterIncluding);
    EXPECT_EQ(values.ExcludeFolderEntries, defaults.ExcludeFolders);

    O expected = defaults;
    expected.Language = "English (default)"; // the selected entry is what a save keeps
    ExpectSameSettings(back, expected);
}

struct TRoundTripCase {
    const char* Name;
    void (*Change)(O&);      // applied to the defaults before they are shown
    void (*Shown)(const V&); // what the dialog shows
    void (*Expect)(O&);      // applied to the changed record: what comes back
};

const TRoundTripCase kRoundTrips[] = {
    {"size a byte over whole megabytes is cut", [](O& o) { o.MaxFileSizeFiltered = 256 * kMb + 1; },
     [](const V& v) { EXPECT_EQ(v.MaxFileSizeFilteredMb, 256); },
     [](O& o) { o.MaxFileSizeFiltered = 256 * kMb; }},
    {"size under a megabyte shows the minimum", [](O& o) { o.MaxFileSizeUnfiltered = kMb - 1; },
     [](const V& v) { EXPECT_EQ(v.MaxFileSizeUnfilteredMb, 1); },
     [](O& o) { o.MaxFileSizeUnfiltered = kMb; }},
    {"negative size shows the minimum", [](O& o) { o.MaxFileSizeFiltered = -5 * kMb; },
     [](const V& v) { EXPECT_EQ(v.MaxFileSizeFilteredMb, 1); },
     [](O& o) { o.MaxFileSizeFiltered = kMb; }},
    {"largest size is kept without loss",
     [](O& o) { o.MaxFileSizeUnfiltered = int64_t{1'099'511'627'776}; },
     [](const V& v) { EXPECT_EQ(v.MaxFileSizeUnfilteredMb, 1'048'576); }, [](O&) {}},
    {"size over the largest shows the maximum",
     [](O& o) { o.MaxFileSizeFiltered = int64_t{1'099'511'627'776} + kMb; },
     [](const V& v) { EXPECT_EQ(v.MaxFileSizeFilteredMb, 1'048'576); },
     [](O& o) { o.MaxFileSizeFiltered = int64_t{1'099'511'627'776}; }},
    {"delay in the list", [](O& o) { o.CompressionDelay = 180; },
     [](const V& v) { EXPECT_EQ(EntryAt("CompressionDelay", v.CompressionDelayIndex), "3 min"); },
     [](O&) {}},
    {"delay not in the list becomes 20 seconds", [](O& o) { o.CompressionDelay = 7; },
     [](const V& v) { EXPECT_EQ(v.CompressionDelayIndex, 3); },
     [](O& o) { o.CompressionDelay = 20; }},
    {"retry at the list's first entry", [](O& o) { o.CompressAgainDelay = 15000; },
     [](const V& v) { EXPECT_EQ(v.CompressAgainDelayIndex, 0); }, [](O&) {}},
    {"retry not in the list becomes 5 minutes", [](O& o) { o.CompressAgainDelay = 12345; },
     [](const V& v) { EXPECT_EQ(v.CompressAgainDelayIndex, 5); },
     [](O& o) { o.CompressAgainDelay = 300000; }},
    {"idle time and days at their bounds",
     [](O& o) {
         o.IdleTime = 15;
         o.MoveToNeverCompressDelay = 10;
     },
     [](const V& v) {
         EXPECT_EQ(v.IdleTime, 15);
         EXPECT_EQ(v.MoveToNeverCompressDelay, 10);
     },
     [](O&) {}},
    {"idle time and days outside their ranges are brought in",
     [](O& o) {
         o.IdleTime = 0;
         o.MoveToNeverCompressDelay = 11;
     },
     [](const V& v) {
         EXPECT_EQ(v.IdleTime, 1);
         EXPECT_EQ(v.MoveToNeverCompressDelay, 10);
     },
     [](O& o) {
         o.IdleTime = 1;
         o.MoveToNeverCompressDelay = 10;
     }},
    {"highest level the list offers", [](O& o) { o.Priority = 5; },
     [](const V& v) { EXPECT_EQ(EntryAt("Priority", v.PriorityIndex), "Highest"); }, [](O&) {}},
    {"levels 0 and 6 show no selection, which saves 0", [](O& o) { o.Priority = 6; },
     [](const V& v) { EXPECT_EQ(v.PriorityIndex, kNoSelection); }, [](O& o) { o.Priority = 0; }},
    {"an ordinal beyond the decompress list selects nothing",
     [](O& o) { o.SmartDecompress = static_cast<TSmartDecompress>(7); },
     [](const V& v) { EXPECT_EQ(v.SmartDecompressIndex, kNoSelection); },
     // No selection saves index -1, of which the record keeps the lowest byte.
     [](O& o) { o.SmartDecompress = static_cast<TSmartDecompress>(255); }},
    {"interactive mode enables the delays",
     [](O& o) { o.SmartCompressMode = TSmartCompressMode::scmInteractive; },
     [](const V& v) { EXPECT_TRUE(v.DelaysEnabled() && !v.IdleTimeEnabled()); }, [](O&) {}},
    {"every check box off, empty filters and no folders",
     [](O& o) {
         o.SmartCompressMode = TSmartCompressMode::scmOnIdle;
         o.MaxFileSizeFilteredEnable = o.MaxFileSizeUnfilteredEnable = false;
         o.CompressUnfiltered = o.ExcludeFoldersEnabled = o.BeepOnComplete = false;
         o.FilterIncluding.clear();
         o.FilterExcluding.clear();
         o.ExcludeFolders.clear();
     },
     [](const V& v) { EXPECT_TRUE(v.IdleTimeEnabled()); }, [](O&) {}},
    {"folders keep order, duplicates and odd entries",
     [](O& o) {
         o.ExcludeFolders = {"/b=", "/a=", "/b=", "", "/with\ttab and \"quote\"=x"};
     },
     [](const V& v) { EXPECT_EQ(v.ExcludeFolderEntries.size(), 5u); }, [](O&) {}},
    {"language keeps the listed spelling", [](O& o) { o.Language = "GERMAN"; },
     [](const V& v) { EXPECT_EQ(v.LanguageIndex, 1); }, [](O& o) { o.Language = "German"; }},
    {"every flag on", [](O& o) { o.Autostart = o.StartHidden = o.CompressEncrypted = true; },
     [](const V& v) { EXPECT_TRUE(v.Autostart && v.StartHiddenToTray && v.CompressEncrypted); },
     [](O&) {}},
};

TEST(OptionsDialogValues, RecordRoundTripsThroughTheDialog) {
    for (const TRoundTripCase& c : kRoundTrips) {
        SCOPED_TRACE(c.Name);
        O changed = Defaults();
        changed.Language = "German";
        c.Change(changed);
        V values;
        const O back = RoundTrip(changed, values);
        c.Shown(values);
        O expected = changed;
        c.Expect(expected);
        ExpectSameSettings(back, expected);
    }
}

TEST(OptionsDialogValues, ModeOfNoRadioButtonLeavesTheButtonsAsTheyWere) {
    O options = Defaults();
    options.SmartCompressMode = static_cast<TSmartCompressMode>(5);
    V values;
    values.SmartCompressMode = TSmartCompressMode::scmInteractive;
    FillDialogValues(options, values);
    EXPECT_EQ(values.SmartCompressMode, TSmartCompressMode::scmInteractive);

    // A radio value that names no button saves as disabled.
    values.SmartCompressMode = static_cast<TSmartCompressMode>(9);
    TakeDialogValues(values, options);
    EXPECT_EQ(options.SmartCompressMode, TSmartCompressMode::scmDisabled);
}

TEST(OptionsDialogValues, UserEditsAreTakenAsTheSaveConvertsThem) {
    V values;
    values.LanguageEntries = kLanguages;
    FillDialogValues(Defaults(), values);
    values.CompressionDelayIndex = 7;    // "3 min"
    values.CompressAgainDelayIndex = 6;  // "10 min"
    values.PriorityIndex = kNoSelection; // the list lost its selection
    values.LanguageIndex = kNoSelection;
    values.MaxFileSizeFilteredMb = 0; // below the field's minimum
    values.MaxFileSizeUnfilteredMb = 2'000'000;
    values.IdleTime = 99;

    O options;
    TakeDialogValues(values, options);
    EXPECT_EQ(options.CompressionDelay, 180);
    EXPECT_EQ(GetStoredNumber(options, *FindOptionSetting("CompressionDelay")), 7);
    EXPECT_EQ(options.CompressAgainDelay, 600000);
    EXPECT_EQ(options.Priority, 0);
    EXPECT_EQ(options.Language, "");
    EXPECT_EQ(options.MaxFileSizeFiltered, kMb);
    EXPECT_EQ(options.MaxFileSizeUnfiltered, int64_t{1'048'576} * kMb);
    EXPECT_EQ(options.IdleTime, 15);

    // A delay index outside the list takes the list's fallback.
    values.CompressionDelayIndex = kNoSelection;
    values.CompressAgainDelayIndex = 42;
    TakeDialogValues(values, options);
    EXPECT_EQ(options.CompressionDelay, 20);
    EXPECT_EQ(options.CompressAgainDelay, 300000);
}

// A record in which every setting differs from its default, in forms the dialog can show.
O EverySettingChanged() {
    O o;
    o.SmartCompressMode = TSmartCompressMode::scmOnIdle;
    o.IdleTime = 5;
    o.Autostart = o.StartHidden = o.CompressEncrypted = o.CompressSharedFiles = true;
    o.Language = "German";
    o.MaxFileSizeFilteredEnable = o.MaxFileSizeUnfilteredEnable = false;
    o.MaxFileSizeFiltered = 3 * kMb;
    o.MaxFileSizeUnfiltered = 7 * kMb;
    o.SmartDecompress = TSmartDecompress::sdAllButCompress;
    o.FilterIncluding = "a,b";
    o.FilterExcluding = "c";
    o.CompressUnfiltered = o.ExcludeFoldersEnabled = o.BeepOnComplete = false;
    o.ExcludeFolders = {"/x="};
    o.Priority = 5;
    o.CompressionDelay = 60;
    o.CompressAgainDelay = 15000;
    o.MoveToNeverCompressDelay = 4;
    o.CompressionLevel = 9;
    o.SmartCompressionLevel = true;
    o.IdleFromMachineLoad = true;
    o.CompressNewFiles = false;
    o.CompressNewFolders = true;
    return o;
}

TEST(OptionsDialogValues, TakingOneSettingChangesOnlyItsField) {
    const O changed = EverySettingChanged();
    V values;
    values.LanguageEntries = kLanguages;
    FillDialogValues(changed, values);

    for (const TOptionSetting& setting : OptionSettings()) {
        SCOPED_TRACE(setting.Key);
        O options = Defaults();
        ASSERT_NE(StoredText(options, setting), StoredText(changed, setting));
        TakeDialogValue(values, setting, options);
        for (const TOptionSetting& other : OptionSettings())
            EXPECT_EQ(StoredText(options, other),
                      StoredText(&other == &setting ? changed : Defaults(), other))
                << other.Key;
    }
}

TEST(OptionsDialogValues, LanguageSelectionFallsBackToEnglishThenTheFirstEntry) {
    const struct {
        std::vector<std::string> Entries;
        const char* Language;
        int Expected;
    } cases[] = {
        {{"English", "German"}, "german", 1}, {{"German", "English"}, "French", 1},
        {{"German", "ENGLISH"}, "", 1},       {{"English (default)", "German"}, "French", 0},
        {{"German", "Polish"}, "French", 0},  {{}, "German", kNoSelection},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SelectLanguageEntry(c.Entries, c.Language), c.Expected) << c.Language;
}

TEST(OptionsDialogValues, ListsAndRangesComeFromTheSettingsTable) {
    EXPECT_EQ(DialogChoices("CompressionDelay").size(), 9u);
    EXPECT_EQ(DialogChoices("CompressAgainDelay").size(), 7u);
    EXPECT_EQ(DialogChoices("SmartCompressMode")[1].Text, "On idle (safest). Idle interval, min:");
    const TOptionRange sizes = DialogRange("MaxFileSizeFiltered");
    EXPECT_EQ(sizes.Min, 1);
    EXPECT_EQ(sizes.Max, 1'048'576);
    EXPECT_EQ(sizes.Scale, kMb);
    EXPECT_EQ(DialogRange("IdleTime").Max, 15);
    EXPECT_THROW(DialogChoices("Autostart"), std::logic_error);
    EXPECT_THROW(DialogRange("NoSuchKey"), std::logic_error);
}

} // namespace
} // namespace brimble
