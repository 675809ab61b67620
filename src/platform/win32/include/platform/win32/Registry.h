#pragma once

// The per-user registry values Brimble reads and writes.

#include "platform/Platform.h"

#include <optional>
#include <string>

namespace brimble::win32 {

inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// "Local AppData" of the per-user "Shell Folders" key; nothing when the value is missing.
std::optional<std::string> ShellFolderLocalAppData();

// The Run key's value Name: written with Command (REG_SZ), or deleted.
OsResult SetRunValue(const std::string& name, const std::string& command, bool enable);
bool RunValueExists(const std::string& name);

} // namespace brimble::win32
