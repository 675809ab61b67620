#pragma once

// The settings file: an INI text with one section, GENERAL, holding one line Key=Value per
// setting. A load fills every setting of the options record, a missing key or a value that
// does not read giving the setting's default; a save writes every setting in table order
// and keeps every other line and section of the file as it was.

#include "options/uOptions.h"
#include "platform/Platform.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

class IFileSystem;

inline constexpr std::string_view kOptionsSection = "GENERAL";

// Fills Options from the settings file; a missing file gives every setting its default.
// One that is there but cannot be read (no permission, a FIFO, a folder) gives the defaults
// too, and the failure with its system error.
OsResult LoadOptionsFromFile(IFileSystem& fs, const std::string& iniFileName,
                             TBrimbleOptions& options);

// Writes every setting of Options into the settings file, replacing it atomically so that a
// crash leaves the old or the new file. Fails with the system error when the file could not
// be written, or when it exists but could not be read (writing then would lose its other
// lines).
OsResult SaveOptionsToFile(IFileSystem& fs, const std::string& iniFileName,
                           const TBrimbleOptions& options);

// --- value forms, shared with anything else that reads or writes these values ---

// An integer as the settings file holds it: decimal with an optional sign, or hexadecimal
// after "0x", "0X" or "$"; blanks around it are ignored. Nothing when the text is no integer
// or does not fit (Wide: 64 bits, else 32; hexadecimal fills the bits as two's complement).
std::optional<int64_t> ParseStoredInteger(std::string_view text, bool wide);

// The excluded folders joined by tabs; an entry holding a tab or a double quote is quoted
// with its quotes doubled, and a list of one empty entry is written as two double quotes.
std::string JoinFolderList(const std::vector<std::string>& entries);
// The entries of a joined folder list, in order.
std::vector<std::string> SplitFolderList(std::string_view text);

} // namespace brimble
