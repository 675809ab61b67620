#pragma once

// Start at log-on the freedesktop way: a desktop entry in ~/.config/autostart.

#include "platform/Platform.h"

#include <string>

namespace brimble::posix {

// The file that starts Name at log-on.
std::string AutostartFile(const std::string& name);
// The desktop entry that runs ProgramPath.
std::string AutostartEntry(const std::string& name, const std::string& programPath);
// Writes (Enable) or removes the entry; ok when the entry is then as asked.
OsResult SetAutostart(const std::string& name, const std::string& programPath, bool enable);

} // namespace brimble::posix
