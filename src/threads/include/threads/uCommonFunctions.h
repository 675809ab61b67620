#pragma once

// Shared helpers of every layer: the log, the program's version, command-line switches,
// environment references, and case-insensitive text.

#include "base/TextCase.h"
#include "threads/TLogFile.h"

#include <string>
#include <vector>

namespace brimble {

class Platform;
class IProcess;

// The absent marker of GetSwitchValue: one NUL character.
inline const std::string SwitchAbsent(1, '\0');

// The program file's version with %M, %m, %r and %b replaced; empty when the file has none.
std::string GetFileVersionString(IProcess& process, const std::string& fileName,
                                 const std::string& format);

// The value of the command-line switch Name (-name, /name, -name:value, /name=value).
std::string GetSwitchValue(const std::vector<std::string>& arguments, const std::string& name,
                           const std::string& defaultValue, bool caseSensitive);

// The value of the environment variable named by Text without its first and last
// character (%NAME%), trimmed; empty when undefined.
std::string ExpandEnvVar(IProcess& process, const std::string& text);

// The log level from the command line: absent switch 0, a number, else 1.
int LogLevelFromCommandLine(const std::vector<std::string>& arguments);

} // namespace brimble
