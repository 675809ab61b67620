#include "engine/FilterList.h"
#include "options/OptionsTable.h"
#include "options/uOptions.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimble {
namespace {

TEST(OptionsDefaults, AreExactlyTheDefaultsOfEverySetting) {
    TBrimbleOptions o;
    o.Language = "Deutsch"; // a value from before is replaced, as a load from an empty file does
    o.ExcludeFolders = {"D:\\old="};
    ApplyDefaults(o);

    EXPECT_EQ(o.SmartCompressMode, TSmartCompressMode::scmDisabled);
    EXPECT_EQ(o.IdleTime, 1);
    EXPECT_FALSE(o.Autostart);
    EXPECT_FALSE(o.StartHidden);
    EXPECT_EQ(o.Language, "");
    EXPECT_TRUE(o.MaxFileSizeFilteredEnable);
    EXPECT_EQ(o.MaxFileSizeFiltered, 268'435'456);
    EXPECT_TRUE(o.MaxFileSizeUnfilteredEnable);
    EXPECT_EQ(o.MaxFileSizeUnfiltered, 67'108'864);
    EXPECT_FALSE(o.CompressEncrypted);
    EXPECT_EQ(o.SmartDecompress, TSmartDecompress::sdExcluded);
    EXPECT_EQ(o.FilterIncluding, kDefaultFilterIncluding);
    EXPECT_EQ(o.FilterExcluding, kDefaultFilterExcluding);
    EXPECT_TRUE(o.CompressUnfiltered);
    EXPECT_TRUE(o.ExcludeFoldersEnabled);
    EXPECT_EQ(o.ExcludeFolders, (std::vector<std::string>{"%windir%=", "%temp%=", "%tmp%=",
                                                          "%localappdata%=", "%appdata%="}));
    EXPECT_TRUE(o.BeepOnComplete);
    EXPECT_EQ(o.Priority, 3);
    EXPECT_EQ(o.CompressionDelay, 20);
    EXPECT_EQ(o.CompressAgainDelay, 300'000);
    EXPECT_EQ(o.MoveToNeverCompressDelay, 1);
}

TEST(OptionsDefaults, FiltersHaveTheirExactElements) {
    const std::vector<std::string> including = ParseFilterList(kDefaultFilterIncluding);
    const std::vector<std::string> excluding = ParseFilterList(kDefaultFilterExcluding);
    EXPECT_EQ(including.size(), 126u);
    EXPECT_EQ(excluding.size(), 94u);

    // The one empty element stands between "shtml" and "lst"; "js" and "lnk" stand twice.
    const auto empty = std::find(including.begin(), including.end(), "");
    ASSERT_NE(empty, including.end());
    EXPECT_EQ(*(empty - 1), "shtml");
    EXPECT_EQ(*(empty + 1), "lst");
    EXPECT_EQ(std::count(including.begin(), including.end(), ""), 1);
    EXPECT_EQ(std::count(including.begin(), including.end(), "js"), 2);
    EXPECT_EQ(std::count(excluding.begin(), excluding.end(), "lnk"), 2);
    EXPECT_EQ(including.back(), "nif");
    EXPECT_EQ(excluding.back(), "pf");

    const std::set<std::string> in(including.begin(), including.end());
    for (const std::string& e : excluding)
        EXPECT_EQ(in.count(e), 0u) << e << " stands in both default filters";
}

TEST(OptionsTable, ListsItsKeysInSaveOrderEachForOneField) {
    const std::vector<std::string> expected = {"SmartCompressMode",
                                               "Autostart",
                                               "StartHidden",
                                               "Language",
                                               "MaxFileSizeFilteredEnable",
                                               "MaxFileSizeFiltered",
                                               "MaxFileSizeUnfilteredEnable",
                                               "MaxFileSizeUnfiltered",
                                               "CompressEncrypted",
                                               "CompressSharedFiles",
                                               "CompressNewFiles",
                                               "CompressNewFolders",
                                               "CompressionLevel",
                                               "SmartCompressionLevel",
                                               "IdleFromMachineLoad",
                                               "SmartDecompress",
                                               "CompressionDelay",
                                               "CompressAgainDelay",
                                               "MoveToNeverCompressDelay",
                                               "IdleTime",
                                               "FilterIncluding",
                                               "FilterExcluding",
                                               "CompressUnfiltered",
                                               "ExcludeFoldersEnabled",
                                               "ExcludeFolders",
                                               "BeepOnComplete",
                                               "Priority"};
    std::vector<std::string> keys;
    std::vector<TOptionField> fields;
    for (const TOptionSetting& s : OptionSettings()) {
        keys.emplace_back(s.Key);
        EXPECT_EQ(std::count(fields.begin(), fields.end(), s.Field), 0)
            << s.Key << " fills a field another key fills";
        fields.push_back(s.Field);
    }
    EXPECT_EQ(keys, expected);

    ASSERT_NE(FindOptionSetting("maxfilesizefiltered"), nullptr);
    EXPECT_EQ(FindOptionSetting("maxfilesizefiltered")->Key, "MaxFileSizeFiltered");
    EXPECT_EQ(FindOptionSetting("NoSuchKey"), nullptr);
}

TEST(OptionsTable, StoredNumbersConvertAsTheirFormSays) {
    TBrimbleOptions o;
    const auto set = [&](std::string_view key, int64_t stored) {
        SetStoredNumber(o, *FindOptionSetting(key), stored);
    };
    const auto get = [&](std::string_view key) {
        return GetStoredNumber(o, *FindOptionSetting(key));
    };

    set("SmartCompressMode", 258); // the record keeps the lowest byte
    EXPECT_EQ(o.SmartCompressMode, TSmartCompressMode::scmInteractive);
    set("Priority", 0);
    EXPECT_EQ(o.Priority, 0);
    set("CompressEncrypted", -7);
    EXPECT_TRUE(o.CompressEncrypted);
    EXPECT_EQ(get("CompressEncrypted"), 1);
    set("CompressionDelay", 7);
    EXPECT_EQ(o.CompressionDelay, 180);
    EXPECT_EQ(get("CompressionDelay"), 7);
    set("CompressAgainDelay", 9);
    EXPECT_EQ(o.CompressAgainDelay, 300'000);

    // The largest limit the dialog allows is held in bytes without loss.
    const TOptionSetting& filtered = *FindOptionSetting("MaxFileSizeFiltered");
    EXPECT_EQ(filtered.Range.Max * filtered.Range.Scale, 1'099'511'627'776);
    set("MaxFileSizeFiltered", filtered.Range.Max * filtered.Range.Scale);
    EXPECT_EQ(o.MaxFileSizeFiltered, 1'099'511'627'776);
    EXPECT_EQ(get("MaxFileSizeFiltered"), 1'099'511'627'776);

    EXPECT_THROW(set("Language", 1), std::logic_error);
}

TEST(OptionsRecord, ExcludeFoldersKeepOrderAndDuplicates) {
    TBrimbleOptions o;
    std::vector<std::string>& folders = ListField(o, *FindOptionSetting("ExcludeFolders"));
    folders = {"D:\\Zeta=", "C:\\Alpha=", "D:\\Zeta="};
    EXPECT_EQ(o.ExcludeFolders, (std::vector<std::string>{"D:\\Zeta=", "C:\\Alpha=", "D:\\Zeta="}));
}

struct IndexCase {
    int64_t stored;
    int32_t value;
};

TEST(DelayTables, MapIndexToTimeAndBackWithTheirOutOfRangeRules) {
    const std::vector<IndexCase> delays = {{0, 0},   {1, 5},  {3, 20},  {5, 60},  {7, 180},
                                           {8, 300}, {9, 20}, {12, 20}, {-1, 20}, {1LL << 40, 20}};
    for (const IndexCase& c : delays)
        EXPECT_EQ(CompressionDelayFromIndex(c.stored), c.value) << "index " << c.stored;
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(CompressionDelayToIndex(CompressionDelayFromIndex(i)), i);
    EXPECT_EQ(CompressionDelayToIndex(180), 7);
    EXPECT_EQ(CompressionDelayToIndex(17), 3);
    EXPECT_EQ(CompressionDelayTable()[7].Text, "3 min");

    const std::vector<IndexCase> retries = {{0, 15'000},  {4, 180'000}, {5, 300'000}, {6, 600'000},
                                            {7, 300'000}, {9, 300'000}, {-3, 300'000}};
    for (const IndexCase& c : retries)
        EXPECT_EQ(CompressAgainDelayFromIndex(c.stored), c.value) << "index " << c.stored;
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(CompressAgainDelayToIndex(CompressAgainDelayFromIndex(i)), i);
    EXPECT_EQ(CompressAgainDelayToIndex(45'000), 5);
    EXPECT_EQ(CompressAgainDelayTable()[6].Text, "10 min");
}

} // namespace
} // namespace brimble
