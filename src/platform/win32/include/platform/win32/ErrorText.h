#pragma once

#include <string>

namespace brimble::win32 {

// The system's text for a Windows error code (FormatMessageW), without trailing blanks,
// line breaks and full stops; "Error N" where the system has none.
std::string ErrorText(unsigned long code);

// GetLastError as the int that OsResult carries.
int LastError();

} // namespace brimble::win32
