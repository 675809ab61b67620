#include "options/LanguageFile.h"

#include "LanguageXml.h"
#include "base/TextCase.h"
#include "platform/Platform.h"

#include <charconv>

namespace brimble {

namespace {

using TextField = std::string TMessageTexts::*;

struct TMessageTextEntry {
    std::string_view Name;
    TextField Field;
};

constexpr std::array<TMessageTextEntry, TMessageTexts::kCount> kMessageTexts = {{
    {"SendErrorLog", &TMessageTexts::SendErrorLog},
    {"IncorrectPath", &TMessageTexts::IncorrectPath},
    {"ClearExcludeFolders", &TMessageTexts::ClearExcludeFolders},
    {"ResetToDefaults", &TMessageTexts::ResetToDefaults},
    {"WarnDecrypt", &TMessageTexts::WarnDecrypt},
    {"ErrorSendingMessage", &TMessageTexts::ErrorSendingMessage},
    {"CannotSaveOptions", &TMessageTexts::CannotSaveOptions},
    {"WarnFileChanged", &TMessageTexts::WarnFileChanged},
    {"ScanInProgress", &TMessageTexts::ScanInProgress},
    {"NoTrayArea", &TMessageTexts::NoTrayArea},
    {"QuitWithoutTray", &TMessageTexts::QuitWithoutTray},
    {"ScanCompleteTitle", &TMessageTexts::ScanCompleteTitle},
    {"NoDrivesHeading", &TMessageTexts::NoDrivesHeading},
    {"NoDrivesHint", &TMessageTexts::NoDrivesHint},
    {"NothingToScan", &TMessageTexts::NothingToScan},
    {"WaitForRetry", &TMessageTexts::WaitForRetry},
    {"WaitForIdle", &TMessageTexts::WaitForIdle},
    {"WaitForDelay", &TMessageTexts::WaitForDelay},
    {"WaitNever", &TMessageTexts::WaitNever},
    {"WatchStarting", &TMessageTexts::WatchStarting},
    {"NotWatchedDisabled", &TMessageTexts::NotWatchedDisabled},
    {"NotWatchedDuringScan", &TMessageTexts::NotWatchedDuringScan},
    {"NotWatchedRemovable", &TMessageTexts::NotWatchedRemovable},
    {"BackgroundDone", &TMessageTexts::BackgroundDone},
    {"EstimateTotals", &TMessageTexts::EstimateTotals},
    {"EstimateComplete", &TMessageTexts::EstimateComplete},
    {"EstimateCompleteTitle", &TMessageTexts::EstimateCompleteTitle},
    {"CannotEstimate", &TMessageTexts::CannotEstimate},
}};

const TMessageTextEntry* FindMessageText(std::string_view name) {
    for (const TMessageTextEntry& entry : kMessageTexts)
        if (SameText(entry.Name, name)) return &entry;
    return nullptr;
}

std::optional<int> ParseIndex(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 0) return std::nullopt;
    return value;
}

std::string AsciiLowerText(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

constexpr std::string_view kExtension = ".xml";

} // namespace

const std::array<std::string_view, TMessageTexts::kCount>& TMessageTexts::Names() {
    static const std::array<std::string_view, kCount> names = [] {
        std::array<std::string_view, kCount> result{};
        for (size_t i = 0; i < kMessageTexts.size(); ++i)
            result[i] = kMessageTexts[i].Name;
        return result;
    }();
    return names;
}

const std::string* TMessageTexts::Find(std::string_view name) const {
    const TMessageTextEntry* entry = FindMessageText(name);
    return entry ? &(this->*(entry->Field)) : nullptr;
}

bool TMessageTexts::Set(std::string_view name, std::string value) {
    const TMessageTextEntry* entry = FindMessageText(name);
    if (!entry) return false;
    this->*(entry->Field) = std::move(value);
    return true;
}

const std::string* TLanguageNode::Attribute(std::string_view name) const {
    for (const auto& [key, value] : Attributes)
        if (SameText(key, name)) return &value;
    return nullptr;
}

const TLanguageNode* TLanguageNode::Child(std::string_view name) const {
    for (const TLanguageNode& child : Children)
        if (SameText(child.Name, name)) return &child;
    return nullptr;
}

std::vector<std::pair<int, std::string>> TLanguageNode::ListEntries() const {
    std::vector<std::pair<int, std::string>> entries;
    for (const TLanguageNode& child : Children) {
        const std::string* index = child.Attribute("Index");
        const std::string* value = child.Attribute("Value");
        if (!index || !value) continue;
        if (const std::optional<int> number = ParseIndex(*index))
            entries.emplace_back(*number, *value);
    }
    return entries;
}

std::vector<std::pair<int, const TLanguageNode*>> TLanguageNode::CollectionItems() const {
    std::vector<std::pair<int, const TLanguageNode*>> items;
    for (const TLanguageNode& child : Children) {
        const std::string* index = child.Attribute("Index");
        if (!index) continue;
        if (const std::optional<int> number = ParseIndex(*index))
            items.emplace_back(*number, &child);
    }
    return items;
}

const TLanguageNode* TLanguageFile::Window(std::string_view name) const {
    for (const TLanguageNode& window : Windows)
        if (SameText(window.Name, name)) return &window;
    return nullptr;
}

std::optional<TLanguageFile> ParseLanguageFile(std::string_view xml) {
    std::optional<std::vector<TLanguageNode>> windows = ReadLanguageWindows(xml);
    if (!windows) return std::nullopt;
    TLanguageFile file;
    file.Windows = std::move(*windows);
    if (const TLanguageNode* options = file.Window("frmOptions"))
        if (const TLanguageNode* variables = options->Child("Variables"))
            for (const TLanguageNode& entry : variables->Children) {
                const std::string* name = entry.Attribute("Name");
                const std::string* value = entry.Attribute("Value");
                if (name && value) file.Variables.emplace_back(*name, *value);
            }
    return file;
}

std::optional<TLanguageFile> ReadLanguageFile(IFileSystem& fs, const std::string& path) {
    const std::optional<TFileAttrRec> entry = fs.FindEntry(path);
    if (!entry || (entry->Attr & fa::Directory) || entry->Size > kMaxLanguageFileSize)
        return std::nullopt;
    std::string bytes;
    if (!fs.ReadWholeFile(path, bytes).ok() ||
        bytes.size() > static_cast<size_t>(kMaxLanguageFileSize))
        return std::nullopt;
    return ParseLanguageFile(bytes);
}

void ApplyLanguageVariables(const TLanguageFile& file, TMessageTexts& texts) {
    for (const auto& [name, value] : file.Variables)
        texts.Set(name, value);
}

std::optional<std::string> LanguageDisplayName(std::string_view fileName) {
    if (fileName.size() < kExtension.size() ||
        !SameText(fileName.substr(fileName.size() - kExtension.size()), kExtension))
        return std::nullopt;
    std::string name = AsciiLowerText(fileName.substr(0, fileName.size() - kExtension.size()));
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

std::vector<std::string> ListLanguages(IFileSystem& fs, const std::string& languagesDir) {
    std::vector<std::string> names;
    if (OsValue<std::unique_ptr<IDirListing>> listing = fs.OpenListing(languagesDir)) {
        TFileAttrRec entry;
        while ((*listing)->Next(entry)) {
            if (entry.Attr & fa::Directory) continue;
            if (std::optional<std::string> name = LanguageDisplayName(entry.Name))
                names.push_back(std::move(*name));
        }
    }
    bool hasEnglish = false;
    for (const std::string& name : names)
        hasEnglish = hasEnglish || SameText(name, "English");
    if (!hasEnglish) names.insert(names.begin(), std::string(kDefaultLanguage));
    return names;
}

std::string LanguageFileName(IFileSystem& fs, const std::string& languagesDir,
                             const std::string& language) {
    const std::string fileName = language + std::string(kExtension);
    const std::string exact = languagesDir + fileName;
    if (fs.FileExists(exact)) return exact;
    // Display names are shaped from the file names, so on a file system that keeps letter
    // case the file may be spelt otherwise.
    if (OsValue<std::unique_ptr<IDirListing>> listing = fs.OpenListing(languagesDir)) {
        TFileAttrRec entry;
        while ((*listing)->Next(entry))
            if (!(entry.Attr & fa::Directory) && SameText(entry.Name, fileName))
                return languagesDir + entry.Name;
    }
    return exact;
}

} // namespace brimble
