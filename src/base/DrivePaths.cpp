#include "platform/DrivePaths.h"

#include "base/TextCase.h"

namespace brimble {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool IsDrivePathSeparator(char c) {
    return c == '\\' || c == '/';
}

std::optional<TDrivePath> ParseDrivePath(std::string_view path) {
    if (path.size() < 2 || !IsAsciiLetter(path[0]) || path[1] != ':') return std::nullopt;
    const std::string_view rest = path.substr(2);
    if (!rest.empty() && !IsDrivePathSeparator(rest.front())) return std::nullopt;
    TDrivePath parsed;
    parsed.Drive = UpperAscii(path[0]);
    std::size_t pos = 0;
    while (pos < rest.size()) {
        std::size_t end = pos;
        while (end < rest.size() && !IsDrivePathSeparator(rest[end]))
            ++end;
        const std::string_view part = rest.substr(pos, end - pos);
        if (part == "..") {
            if (!parsed.Parts.empty()) parsed.Parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parsed.Parts.emplace_back(part);
        }
        pos = end + 1;
    }
    return parsed;
}

char DriveLetterOfRoot(std::string_view root) {
    if (root.size() < 2 || root.size() > 3 || !IsAsciiLetter(root[0]) || root[1] != ':') return 0;
    if (root.size() == 3 && !IsDrivePathSeparator(root[2])) return 0;
    return UpperAscii(root[0]);
}

bool IsDriveScanPath(std::string_view path) {
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

int TDrivePathRules::Compare(std::string_view a, std::string_view b) const {
    return CompareText(a, b);
}

bool TDrivePathRules::IsAtOrBelow(std::string_view path, std::string_view folder) const {
    const auto pathParsed = ParseDrivePath(path);
    const auto folderParsed = ParseDrivePath(folder);
    if (!pathParsed || !folderParsed || pathParsed->Drive != folderParsed->Drive) return false;
    const auto& parts = pathParsed->Parts;
    const auto& folderParts = folderParsed->Parts;
    if (folderParts.size() > parts.size()) return false;
    // Component by component: a case fold may change a name's length in bytes.
    for (std::size_t i = 0; i < folderParts.size(); ++i)
        if (!SameText(parts[i], folderParts[i])) return false;
    return true;
}

std::string TDrivePathRules::Normalize(std::string_view path) const {
    const auto parsed = ParseDrivePath(path);
    if (!parsed) return std::string(path);
    std::string result{parsed->Drive, ':', '\\'};
    for (const std::string& part : parsed->Parts) {
        result += part;
        result += '\\';
    }
    if (!parsed->Parts.empty() && !IsDrivePathSeparator(path.back())) result.pop_back();
    return result;
}

} // namespace brimble
