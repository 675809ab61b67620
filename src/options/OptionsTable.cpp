#include "options/OptionsTable.h"

#include "base/TextCase.h"

#include <stdexcept>
#include <type_traits>

namespace brimble {

namespace {

using O = TBrimbleOptions;
using F = TOptionForm;

constexpr std::array<TOptionChoice, 9> kCompressionDelays = {{
    {"None", 0},
    {"5 sec", 5},
    {"10 sec", 10},
    {"20 sec", 20},
    {"30 sec", 30},
    {"1 min", 60},
    {"2 min", 120},
    {"3 min", 180},
    {"5 min", 300},
}};
constexpr std::size_t kCompressionDelayFallback = 3; // 20 seconds

constexpr std::array<TOptionChoice, 7> kCompressAgainDelays = {{
    {"15 sec", 15000},
    {"30 sec", 30000},
    {"1 min", 60000},
    {"2 min", 120000},
    {"3 min", 180000},
    {"5 min", 300000},
    {"10 min", 600000},
}};
constexpr std::size_t kCompressAgainDelayFallback = 5; // 5 minutes

constexpr std::array<TOptionChoice, 3> kSmartCompressModes = {{
    {"Disabled", 0},
    {"On idle (safest). Idle interval, min:", 1},
    {"Interactive (use with caution)", 2},
}};

constexpr std::array<TOptionChoice, 3> kSmartDecompressChoices = {{
    {"No decompress", 0},
    {"By Exclude-list only", 1},
    {"All but Compress", 2},
}};

// The dialog's list starts at level 1; levels 0 and 6 come only from a hand-edited file.
constexpr std::array<TOptionChoice, 5> kPriorities = {{
    {"Lowest", 1},
    {"Lower", 2},
    {"Normal", 3},
    {"Higher", 4},
    {"Highest", 5},
}};

constexpr int64_t kMebibyte = 1048576;
constexpr TOptionRange kFileSizeRange{1, 1048576, kMebibyte};

// Row makers, one per kind of dialog control.
constexpr TOptionSetting Flag(std::string_view key, bool O::*field, bool byDefault) {
    return {key, F::Boolean, field, byDefault ? 1 : 0, {}, {}, {}, {}};
}
constexpr TOptionSetting Number(std::string_view key, TOptionForm form, TOptionField field,
                                int64_t byDefault, TOptionRange range) {
    return {key, form, field, byDefault, {}, {}, range, {}};
}
constexpr TOptionSetting Choice(std::string_view key, TOptionForm form, TOptionField field,
                                int64_t byDefault, std::span<const TOptionChoice> choices) {
    return {key, form, field, byDefault, {}, {}, {}, choices};
}
constexpr TOptionSetting Text(std::string_view key, std::string O::*field,
                              std::string_view byDefault) {
    return {key, F::String, field, 0, byDefault, {}, {}, {}};
}
constexpr TOptionSetting Folders(std::string_view key, std::vector<std::string> O::*field,
                                 std::span<const std::string_view> byDefault) {
    return {key, F::FolderList, field, 0, {}, byDefault, {}, {}};
}

constexpr std::array<TOptionSetting, kOptionCount> kSettings = {
    Choice("SmartCompressMode", F::Ordinal, &O::SmartCompressMode, 0, kSmartCompressModes),
    Flag("Autostart", &O::Autostart, false),
    Flag("StartHidden", &O::StartHidden, false),
    Text("Language", &O::Language, ""),
    Flag("MaxFileSizeFilteredEnable", &O::MaxFileSizeFilteredEnable, true),
    Number("MaxFileSizeFiltered", F::Integer64, &O::MaxFileSizeFiltered, 256 * kMebibyte,
           kFileSizeRange),
    Flag("MaxFileSizeUnfilteredEnable", &O::MaxFileSizeUnfilteredEnable, true),
    Number("MaxFileSizeUnfiltered", F::Integer64, &O::MaxFileSizeUnfiltered, 64 * kMebibyte,
           kFileSizeRange),
    Flag("CompressEncrypted", &O::CompressEncrypted, false),
    Flag("CompressSharedFiles", &O::CompressSharedFiles, false),
    Flag("CompressNewFiles", &O::CompressNewFiles, true),
    Flag("CompressNewFolders", &O::CompressNewFolders, false),
    Number("CompressionLevel", F::Integer, &O::CompressionLevel, 3, {1, 15, 1}),
    Flag("SmartCompressionLevel", &O::SmartCompressionLevel, false),
    Flag("IdleFromMachineLoad", &O::IdleFromMachineLoad, false),
    Choice("SmartDecompress", F::Ordinal, &O::SmartDecompress, 1, kSmartDecompressChoices),
    Choice("CompressionDelay", F::DelayIndex, &O::CompressionDelay, kCompressionDelayFallback,
           kCompressionDelays),
    Choice("CompressAgainDelay", F::RetryIndex, &O::CompressAgainDelay, kCompressAgainDelayFallback,
           kCompressAgainDelays),
    Number("MoveToNeverCompressDelay", F::Integer, &O::MoveToNeverCompressDelay, 1, {1, 10, 1}),
    Number("IdleTime", F::Integer, &O::IdleTime, 1, {1, 15, 1}),
    Text("FilterIncluding", &O::FilterIncluding, kDefaultFilterIncluding),
    Text("FilterExcluding", &O::FilterExcluding, kDefaultFilterExcluding),
    Flag("CompressUnfiltered", &O::CompressUnfiltered, true),
    Flag("ExcludeFoldersEnabled", &O::ExcludeFoldersEnabled, true),
    Folders("ExcludeFolders", &O::ExcludeFolders, kDefaultExcludeFolders),
    Flag("BeepOnComplete", &O::BeepOnComplete, true),
    Choice("Priority", F::Ordinal, &O::Priority, 3, kPriorities),
};

int32_t ValueAtIndex(std::span<const TOptionChoice> table, int64_t index, std::size_t fallback) {
    const bool inTable = index >= 0 && static_cast<uint64_t>(index) < table.size();
    return static_cast<int32_t>(table[inTable ? static_cast<std::size_t>(index) : fallback].Value);
}

int32_t IndexOfValue(std::span<const TOptionChoice> table, int64_t value, std::size_t fallback) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].Value == value) return static_cast<int32_t>(i);
    return static_cast<int32_t>(fallback);
}

// The record's value for a value as the settings file holds it.
int64_t StoredToRecord(TOptionForm form, int64_t stored) {
    switch (form) {
    case F::Integer:
        return static_cast<int32_t>(stored);
    case F::Integer64:
        return stored;
    case F::Boolean:
        return stored != 0 ? 1 : 0;
    case F::Ordinal:
        return stored & 0xFF;
    case F::DelayIndex:
        return CompressionDelayFromIndex(stored);
    case F::RetryIndex:
        return CompressAgainDelayFromIndex(stored);
    case F::String:
    case F::FolderList:
        break;
    }
    throw std::logic_error("the setting holds no number");
}

int64_t RecordToStored(TOptionForm form, int64_t value) {
    switch (form) {
    case F::DelayIndex:
        return CompressionDelayToIndex(value);
    case F::RetryIndex:
        return CompressAgainDelayToIndex(value);
    case F::String:
    case F::FolderList:
        throw std::logic_error("the setting holds no number");
    default:
        return value;
    }
}

template <typename T> constexpr bool kIsNumberField = std::is_integral_v<T> || std::is_enum_v<T>;

} // namespace

std::span<const TOptionSetting, kOptionCount> OptionSettings() {
    return kSettings;
}

const TOptionSetting* FindOptionSetting(std::string_view key) {
    for (const TOptionSetting& setting : kSettings)
        if (SameText(setting.Key, key)) return &setting;
    return nullptr;
}

std::span<const TOptionChoice> CompressionDelayTable() {
    return kCompressionDelays;
}

int32_t CompressionDelayFromIndex(int64_t index) {
    return ValueAtIndex(kCompressionDelays, index, kCompressionDelayFallback);
}

int32_t CompressionDelayToIndex(int64_t seconds) {
    return IndexOfValue(kCompressionDelays, seconds, kCompressionDelayFallback);
}

std::span<const TOptionChoice> CompressAgainDelayTable() {
    return kCompressAgainDelays;
}

int32_t CompressAgainDelayFromIndex(int64_t index) {
    return ValueAtIndex(kCompressAgainDelays, index, kCompressAgainDelayFallback);
}

int32_t CompressAgainDelayToIndex(int64_t milliseconds) {
    return IndexOfValue(kCompressAgainDelays, milliseconds, kCompressAgainDelayFallback);
}

void SetStoredNumber(TBrimbleOptions& options, const TOptionSetting& setting, int64_t stored) {
    const int64_t value = StoredToRecord(setting.Form, stored);
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(options.*member)>;
            if constexpr (std::is_same_v<T, bool>)
                options.*member = value != 0;
            else if constexpr (kIsNumberField<T>)
                options.*member = static_cast<T>(value);
            else
                throw std::logic_error("the setting holds no number");
        },
        setting.Field);
}

int64_t GetStoredNumber(const TBrimbleOptions& options, const TOptionSetting& setting) {
    const int64_t value = std::visit(
        [&](auto member) -> int64_t {
            using T = std::remove_cvref_t<decltype(options.*member)>;
            if constexpr (kIsNumberField<T>)
                return static_cast<int64_t>(options.*member);
            else
                throw std::logic_error("the setting holds no number");
        },
        setting.Field);
    return RecordToStored(setting.Form, value);
}

std::string& TextField(TBrimbleOptions& options, const TOptionSetting& setting) {
    return options.*std::get<std::string TBrimbleOptions::*>(setting.Field);
}

const std::string& TextField(const TBrimbleOptions& options, const TOptionSetting& setting) {
    return options.*std::get<std::string TBrimbleOptions::*>(setting.Field);
}

std::vector<std::string>& ListField(TBrimbleOptions& options, const TOptionSetting& setting) {
    return options.*std::get<std::vector<std::string> TBrimbleOptions::*>(setting.Field);
}

const std::vector<std::string>& ListField(const TBrimbleOptions& options,
                                          const TOptionSetting& setting) {
    return options.*std::get<std::vector<std::string> TBrimbleOptions::*>(setting.Field);
}

void ApplyDefault(TBrimbleOptions& options, const TOptionSetting& setting) {
    switch (setting.Form) {
    case F::String:
        TextField(options, setting) = std::string(setting.DefaultText);
        break;
    case F::FolderList:
        ListField(options, setting)
            .assign(setting.DefaultEntries.begin(), setting.DefaultEntries.end());
        break;
    default:
        SetStoredNumber(options, setting, setting.DefaultNumber);
        break;
    }
}

void ApplyDefaults(TBrimbleOptions& options) {
    for (const TOptionSetting& setting : kSettings)
        ApplyDefault(options, setting);
}

} // namespace brimble
