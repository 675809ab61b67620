#include "threads/uCommonFunctions.h"

#include "platform/Platform.h"

#include <charconv>

namespace brimble {

namespace {

// Replaces every Placeholder in Text by Value, left to right, never inside a value just put in.
void ReplaceAll(std::string& text, std::string_view placeholder, const std::string& value) {
    for (size_t pos = text.find(placeholder); pos != std::string::npos;
         pos = text.find(placeholder, pos + value.size())) {
        text.replace(pos, placeholder.size(), value);
    }
}

char AsciiUpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameSwitchName(std::string_view a, std::string_view b, bool caseSensitive) {
    if (a.size() != b.size()) return false;
    if (caseSensitive) return a == b;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
    return true;
}

// Blanks and control characters, as a trim removes them.
bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::string GetFileVersionString(IProcess& process, const std::string& fileName,
                                 const std::string& format) {
    const std::optional<FileVersion> version = process.GetFileVersion(fileName);
    if (!version) return {};
    std::string result = format;
    // Matched with case: %M is the major number, %m the minor one.
    ReplaceAll(result, "%M", std::to_string(version->Major));
    ReplaceAll(result, "%m", std::to_string(version->Minor));
    ReplaceAll(result, "%r", std::to_string(version->Release));
    ReplaceAll(result, "%b", std::to_string(version->Build));
    return result;
}

std::string GetSwitchValue(const std::vector<std::string>& arguments, const std::string& name,
                           const std::string& defaultValue, bool caseSensitive) {
    std::string result = SwitchAbsent;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2) continue;
        if (argument[0] != '-' && argument[0] != '/') continue;
        const std::string_view rest = std::string_view(argument).substr(1);
        if (!SameSwitchName(rest.substr(0, name.size()), name, caseSensitive)) continue;
        if (rest.size() == name.size()) return defaultValue; // the bare switch ends the search
        const char separator = rest[name.size()];
        // A later occurrence with a value replaces an earlier one.
        if (separator == ':' || separator == '=') result = rest.substr(name.size() + 1);
    }
    return result;
}

std::string ExpandEnvVar(IProcess& process, const std::string& text) {
    if (text.size() < 3) return {};
    try {
        const std::optional<std::string> value =
            process.EnvironmentVariable(text.substr(1, text.size() - 2));
        if (!value) return {};
        const std::string& v = *value;
        size_t first = 0;
        size_t last = v.size();
        while (first < last && IsBlankOrControl(v[first]))
            ++first;
        while (last > first && IsBlankOrControl(v[last - 1]))
            --last;
        return v.substr(first, last - first);
    } catch (...) {
        return {};
    }
}

int LogLevelFromCommandLine(const std::vector<std::string>& arguments) {
    const std::string value = GetSwitchValue(arguments, "d", "1", false);
    if (value == SwitchAbsent) return 0;
    const char* begin = value.data();
    const char* end = begin + value.size();
    // A plus sign reads as part of a decimal integer; the parser below takes only minus.
    if (value.size() > 1 && value[0] == '+' && value[1] >= '0' && value[1] <= '9') ++begin;
    int level = 0;
    const auto [stop, error] = std::from_chars(begin, end, level);
    // Empty, not a number, trailing text or out of range: the bare switch's level.
    if (error != std::errc() || stop != end || begin == end) return 1;
    return level;
}

} // namespace brimble
