#include "options/OptionsDialogValues.h"

#include "base/TextCase.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace brimble {

namespace {

using O = TBrimbleOptions;
using V = TOptionsDialogValues;
using S = TOptionSetting;

const S& SettingOf(std::string_view key) {
    const S* setting = FindOptionSetting(key);
    if (setting == nullptr) throw std::logic_error("no setting " + std::string(key));
    return *setting;
}

// A number field takes any value set from the program, but shows it within its bounds.
int64_t IntoRange(const S& setting, int64_t value) {
    return std::clamp(value, setting.Range.Min, setting.Range.Max);
}

int ChoiceIndex(const S& setting, int64_t value) {
    const auto& choices = setting.Choices;
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].Value == value) return static_cast<int>(i);
    return kNoSelection;
}

// An index without an entry maps as the entries do (the first entry's value plus the index),
// so no selection in the priority list saves level 0.
int64_t ChoiceValue(const S& setting, int index) {
    const auto& choices = setting.Choices;
    if (index >= 0 && static_cast<std::size_t>(index) < choices.size())
        return choices[static_cast<std::size_t>(index)].Value;
    return choices.front().Value + index;
}

// How one setting is shown in the dialog and taken back from it.
struct TBinding {
    std::string_view Key;
    void (*Fill)(const O&, const S&, V&);
    void (*Take)(const V&, const S&, O&);
};

template <bool O::*Field, bool V::*Control> TBinding FlagBinding(std::string_view key) {
    return {key, [](const O& o, const S&, V& v) { v.*Control = o.*Field; },
            [](const V& v, const S&, O& o) { o.*Field = v.*Control; }};
}

template <std::string O::*Field, std::string V::*Control>
TBinding TextBinding(std::string_view key) {
    return {key, [](const O& o, const S&, V& v) { v.*Control = o.*Field; },
            [](const V& v, const S&, O& o) { o.*Field = v.*Control; }};
}

// A number field whose unit is the record's unit divided by the setting's scale.
template <typename Unit, Unit V::*Control> TBinding NumberBinding(std::string_view key) {
    return {key,
            [](const O& o, const S& s, V& v) {
                v.*Control = static_cast<Unit>(IntoRange(s, GetStoredNumber(o, s) / s.Range.Scale));
            },
            [](const V& v, const S& s, O& o) {
                SetStoredNumber(o, s, IntoRange(s, v.*Control) * s.Range.Scale);
            }};
}

// A list whose entries stand for the record's values.
template <int V::*Control> TBinding ChoiceBinding(std::string_view key) {
    return {
        key,
        [](const O& o, const S& s, V& v) { v.*Control = ChoiceIndex(s, GetStoredNumber(o, s)); },
        [](const V& v, const S& s, O& o) { SetStoredNumber(o, s, ChoiceValue(s, v.*Control)); }};
}

// A list of delays: the settings table converts between its index and the record's time,
// with the table's fallback for a time or an index not in the list.
template <int V::*Control> TBinding DelayBinding(std::string_view key) {
    return {
        key,
        [](const O& o, const S& s, V& v) { v.*Control = static_cast<int>(GetStoredNumber(o, s)); },
        [](const V& v, const S& s, O& o) { SetStoredNumber(o, s, v.*Control); }};
}

void FillMode(const O& o, const S&, V& v) {
    // A mode of no radio button (from a hand-edited file) leaves the buttons as they were.
    if (static_cast<uint8_t>(o.SmartCompressMode) <=
        static_cast<uint8_t>(TSmartCompressMode::scmInteractive))
        v.SmartCompressMode = o.SmartCompressMode;
}

void TakeMode(const V& v, const S&, O& o) {
    switch (v.SmartCompressMode) {
    case TSmartCompressMode::scmOnIdle:
    case TSmartCompressMode::scmInteractive:
        o.SmartCompressMode = v.SmartCompressMode;
        break;
    default:
        o.SmartCompressMode = TSmartCompressMode::scmDisabled;
        break;
    }
}

void FillLanguage(const O& o, const S&, V& v) {
    v.LanguageIndex = SelectLanguageEntry(v.LanguageEntries, o.Language);
}

void TakeLanguage(const V& v, const S&, O& o) {
    const bool selected = v.LanguageIndex >= 0 &&
                          static_cast<std::size_t>(v.LanguageIndex) < v.LanguageEntries.size();
    o.Language =
        selected ? v.LanguageEntries[static_cast<std::size_t>(v.LanguageIndex)] : std::string();
}

void FillFolders(const O& o, const S&, V& v) {
    v.ExcludeFolderEntries = o.ExcludeFolders;
}

void TakeFolders(const V& v, const S&, O& o) {
    o.ExcludeFolders = v.ExcludeFolderEntries;
}

// In the order in which the dialog is filled.
const std::array<TBinding, kOptionCount>& Bindings() {
    static const std::array<TBinding, kOptionCount> bindings = {{
        {"SmartCompressMode", FillMode, TakeMode},
        FlagBinding<&O::Autostart, &V::Autostart>("Autostart"),
        FlagBinding<&O::StartHidden, &V::StartHiddenToTray>("StartHidden"),
        {"Language", FillLanguage, TakeLanguage},
        FlagBinding<&O::MaxFileSizeFilteredEnable, &V::MaxFileSizeFilteredEnabled>(
            "MaxFileSizeFilteredEnable"),
        NumberBinding<int64_t, &V::MaxFileSizeFilteredMb>("MaxFileSizeFiltered"),
        FlagBinding<&O::MaxFileSizeUnfilteredEnable, &V::MaxFileSizeUnfilteredEnabled>(
            "MaxFileSizeUnfilteredEnable"),
        NumberBinding<int64_t, &V::MaxFileSizeUnfilteredMb>("MaxFileSizeUnfiltered"),
        FlagBinding<&O::CompressEncrypted, &V::CompressEncrypted>("CompressEncrypted"),
        FlagBinding<&O::CompressSharedFiles, &V::CompressSharedFiles>("CompressSharedFiles"),
        FlagBinding<&O::CompressNewFiles, &V::CompressNewFiles>("CompressNewFiles"),
        FlagBinding<&O::CompressNewFolders, &V::CompressNewFolders>("CompressNewFolders"),
        NumberBinding<int32_t, &V::CompressionLevel>("CompressionLevel"),
        FlagBinding<&O::SmartCompressionLevel, &V::SmartCompressionLevel>("SmartCompressionLevel"),
        FlagBinding<&O::IdleFromMachineLoad, &V::IdleFromMachineLoad>("IdleFromMachineLoad"),
        ChoiceBinding<&V::SmartDecompressIndex>("SmartDecompress"),
        DelayBinding<&V::CompressionDelayIndex>("CompressionDelay"),
        DelayBinding<&V::CompressAgainDelayIndex>("CompressAgainDelay"),
        NumberBinding<int32_t, &V::MoveToNeverCompressDelay>("MoveToNeverCompressDelay"),
        NumberBinding<int32_t, &V::IdleTime>("IdleTime"),
        TextBinding<&O::FilterIncluding, &V::IncludingFilter>("FilterIncluding"),
        TextBinding<&O::FilterExcluding, &V::ExcludingFilter>("FilterExcluding"),
        FlagBinding<&O::CompressUnfiltered, &V::CompressUnfiltered>("CompressUnfiltered"),
        FlagBinding<&O::ExcludeFoldersEnabled, &V::ExcludeFolders>("ExcludeFoldersEnabled"),
        {"ExcludeFolders", FillFolders, TakeFolders},
        FlagBinding<&O::BeepOnComplete, &V::BeepOnComplete>("BeepOnComplete"),
        ChoiceBinding<&V::PriorityIndex>("Priority"),
    }};
    return bindings;
}

const TBinding& BindingOf(const S& setting) {
    for (const TBinding& binding : Bindings())
        if (binding.Key == setting.Key) return binding;
    throw std::logic_error("the dialog shows no setting " + std::string(setting.Key));
}

} // namespace

std::span<const TOptionChoice> DialogChoices(std::string_view key) {
    const S& setting = SettingOf(key);
    if (setting.Choices.empty()) throw std::logic_error("no choices for " + std::string(key));
    return setting.Choices;
}

TOptionRange DialogRange(std::string_view key) {
    const S& setting = SettingOf(key);
    if (!setting.Range.Present()) throw std::logic_error("no number field for " + std::string(key));
    return setting.Range;
}

void FillDialogValues(const TBrimbleOptions& options, TOptionsDialogValues& values) {
    for (const TBinding& binding : Bindings())
        binding.Fill(options, SettingOf(binding.Key), values);
}

void TakeDialogValue(const TOptionsDialogValues& values, const TOptionSetting& setting,
                     TBrimbleOptions& options) {
    BindingOf(setting).Take(values, setting, options);
}

void TakeDialogValues(const TOptionsDialogValues& values, TBrimbleOptions& options) {
    for (const TOptionSetting& setting : OptionSettings())
        TakeDialogValue(values, setting, options);
}

int SelectLanguageEntry(std::span<const std::string> entries, std::string_view language) {
    for (std::string_view wanted : {language, std::string_view("English")})
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (SameText(entries[i], wanted)) return static_cast<int>(i);
    return entries.empty() ? kNoSelection : 0;
}

} // namespace brimble
