#include "platform/posix/Autostart.h"

#include "platform/posix/FileWriting.h"
#include "platform/posix/XdgDirs.h"

#include <cerrno>
#include <unistd.h>

namespace brimble::posix {

namespace {

// The Exec key quotes an argument with reserved characters; inside the quotes `"`, `` ` ``,
// `$` and `\` take a backslash, and every `%` is doubled (field codes).
std::string QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

// A string value of a desktop entry escapes backslashes and line breaks once more.
std::string EscapeValue(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\r')
            escaped += "\\r";
        else if (c == '\t')
            escaped += "\\t";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

std::string AutostartFile(const std::string& name) {
    return ConfigHome() + "/autostart/" + name + ".desktop";
}

std::string AutostartEntry(const std::string& name, const std::string& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           EscapeValue(name) +
           "\n"
           "Exec=" +
           EscapeValue(QuoteExecArgument(programPath)) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

OsResult SetAutostart(const std::string& name, const std::string& programPath, bool enable) {
    const std::string file = AutostartFile(name);
    if (!enable) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) return OsResult::Fail(errno);
        return {};
    }
    if (auto made = MakeFolders(ConfigHome() + "/autostart", 0700); !made) return made;
    return ReplaceFileAtomically(file, AutostartEntry(name, programPath));
}

} // namespace brimble::posix
