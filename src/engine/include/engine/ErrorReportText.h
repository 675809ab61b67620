#pragma once

// What the error report says, without drawing it: the lines of a call stack, the log entry
// of an error that no code handled, the report's text and the mail that carries it. The
// shell shows and sends it; a second shell only draws it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brimble {

class IFileSystem;
class TfrmBrimblemain;

// One frame of a call stack, innermost first, with what the debugging data says of it.
struct TStackFrame {
    uint64_t Address = 0;                  // absolute: just behind the call
    std::optional<uint64_t> ModuleAddress; // relative to the start of its module
    std::string Unit;                      // the source file's name without extension
    std::string Procedure;                 // empty when nothing is known
    // Zero when the source line is not known.
    unsigned Line = 0;
    std::string SourceFile;
    std::optional<int> LinesFromProcedureStart;
    // From the start of the line when it is known, else from the start of the procedure.
    std::optional<int64_t> ByteOffset;
};

// One line of the report per frame: "(rel) [abs] Unit.Procedure (Line n, "file" + d) + $x",
// "(rel) [abs] Unit.Procedure + $x", or "[abs]".
std::string FormatStackFrame(const TStackFrame& frame);
std::vector<std::string> StackLines(const std::vector<TStackFrame>& frames);

// The log entry at level -1: "Exception occured:", the message, then each stack line, each
// on a line of its own.
std::string UnhandledErrorLogEntry(const std::string& message,
                                   const std::vector<std::string>& stackLines);
// Writes that entry to the engine's log; a failing log stays silent.
void LogUnhandledError(TfrmBrimblemain& engine, const std::string& message,
                       const std::vector<std::string>& stackLines);

// What the report is made of.
struct TErrorReportInput {
    std::string VersionLine;  // "Brimble v.1.0.3 build 378"
    std::string PlatformLine; // "Linux version: 6.1.0"
    std::string LogFileName;
    std::string Message;
    std::vector<std::string> StackLines;
    std::string IniFileName;
};

// The report line by line: an empty line, the version, the platform, an empty line, the
// log file, an empty line, the message's lines, two empty lines, the stack, an empty line,
// the settings file's name, an empty line and its lines. A settings file that cannot be
// read is named with the reason instead of its lines.
std::vector<std::string> ErrorReportLines(const TErrorReportInput& input, IFileSystem& fs);
// The lines joined by line breaks, with a break after the last.
std::string ErrorReportText(const std::vector<std::string>& lines);

// The platform line: "<System> version: major.minor.build" from a release text such as
// "6.1.0-18-amd64"; numbers that are missing count as 0.
std::string PlatformVersionLine(const std::string& systemName, const std::string& release);

// The support mailbox the report goes to.
inline constexpr const char* kSupportMailbox = "support@brimble.example.org";
inline constexpr const char* kErrorReportSubject = "Error report";

// The link that opens the mail program when the report cannot be sent: nothing in it is
// percent-encoded but the two line breaks at its end, under which the user pastes.
std::string ErrorReportMailLink(const std::string& errorSendingMessage);

} // namespace brimble
