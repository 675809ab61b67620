#include "engine/ErrorReportText.h"

#include "base/LogLevels.h"
#include "engine/uMain.h"
#include "platform/Platform.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace brimble {

namespace {

// At least eight upper-case hexadecimal digits: a 64-bit address keeps all of its.
std::string Hex8(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%08" PRIX64, value);
    return text;
}

std::string Offset(int64_t offset) {
    char text[24];
    const uint64_t magnitude =
        offset < 0 ? uint64_t(0) - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
    std::snprintf(text, sizeof text, " %c $%" PRIx64, offset < 0 ? '-' : '+', magnitude);
    return text;
}

// Splits on CR LF, CR or LF; an empty text is one empty line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back().push_back(c);
        }
    }
    return lines;
}

// The settings file's lines as stored; the reason in place of them when it cannot be read.
std::vector<std::string> SettingsLines(IFileSystem& fs, const std::string& iniFileName) {
    if (!fs.FileExists(iniFileName)) return {"(no settings file: the defaults are in force)"};
    std::string bytes;
    const OsResult read = fs.ReadWholeFile(iniFileName, bytes);
    if (!read)
        return {"(the settings file cannot be read: " + fs.SysErrorMessage(read.code()) + ")"};
    std::vector<std::string> lines = SplitLines(bytes);
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back(); // the file's last break
    return lines;
}

} // namespace

std::string FormatStackFrame(const TStackFrame& frame) {
    const std::string absolute = "[" + Hex8(frame.Address) + "]";
    if (frame.Procedure.empty()) return absolute;
    std::string line;
    if (frame.ModuleAddress) line = "(" + Hex8(*frame.ModuleAddress) + ") ";
    line += absolute + " ";
    if (!frame.Unit.empty()) line += frame.Unit + ".";
    line += frame.Procedure;
    if (frame.Line > 0) {
        line += " (Line " + std::to_string(frame.Line) + ", \"" + frame.SourceFile + "\"";
        if (frame.LinesFromProcedureStart)
            line += " + " + std::to_string(*frame.LinesFromProcedureStart);
        line += ")";
    }
    if (frame.ByteOffset) line += Offset(*frame.ByteOffset);
    return line;
}

std::vector<std::string> StackLines(const std::vector<TStackFrame>& frames) {
    std::vector<std::string> lines;
    lines.reserve(frames.size());
    for (const TStackFrame& frame : frames)
        lines.push_back(FormatStackFrame(frame));
    return lines;
}

std::string UnhandledErrorLogEntry(const std::string& message,
                                   const std::vector<std::string>& stackLines) {
    std::string entry = "Exception occured:\r\n" + message + "\r\n";
    for (const std::string& line : stackLines)
        entry += line + "\r\n";
    return entry;
}

void LogUnhandledError(TfrmBrimblemain& engine, const std::string& message,
                       const std::vector<std::string>& stackLines) {
    try {
        engine.Log(UnhandledErrorLogEntry(message, stackLines), llUnhandledError);
    } catch (...) {
        // The report is still shown; the log has nothing to say about itself.
    }
}

std::vector<std::string> ErrorReportLines(const TErrorReportInput& input, IFileSystem& fs) {
    std::vector<std::string> lines = {"", input.VersionLine, input.PlatformLine,
                                      "", input.LogFileName, ""};
    for (std::string& line : SplitLines(input.Message))
        lines.push_back(std::move(line));
    lines.insert(lines.end(), {"", ""});
    lines.insert(lines.end(), input.StackLines.begin(), input.StackLines.end());
    lines.insert(lines.end(), {"", input.IniFileName, ""});
    for (std::string& line : SettingsLines(fs, input.IniFileName))
        lines.push_back(std::move(line));
    return lines;
}

std::string ErrorReportText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::string PlatformVersionLine(const std::string& systemName, const std::string& release) {
    unsigned numbers[3] = {0, 0, 0};
    std::size_t at = 0;
    for (unsigned& number : numbers) {
        if (at >= release.size() || release[at] < '0' || release[at] > '9') break;
        while (at < release.size() && release[at] >= '0' && release[at] <= '9')
            number = number * 10 + static_cast<unsigned>(release[at++] - '0');
        if (at >= release.size() || release[at] != '.') break;
        ++at;
    }
    std::ostringstream line;
    line << systemName << " version: " << numbers[0] << '.' << numbers[1] << '.' << numbers[2];
    return line.str();
}

std::string ErrorReportMailLink(const std::string& errorSendingMessage) {
    return std::string("mailto:") + kSupportMailbox + "?subject=" + kErrorReportSubject +
           "&body=" + errorSendingMessage + "%0D%0A%0D%0A";
}

} // namespace brimble
