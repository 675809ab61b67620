#pragma once

// The text format of the persistent list files and the stamps of their entries.
// A file is one entry per line in the system's 8-bit code page; a byte-order mark of
// UTF-8 or UTF-16 selects that encoding instead. Decoding never fails: whatever bytes a
// file holds, the result is a list of lines.

#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

// The lines of a list file. CR LF, a lone CR and a lone LF each end a line; an empty line
// is an empty entry and a missing final line end is fine. Invalid UTF-8 or UTF-16 (after
// its byte-order mark) and NUL characters become U+FFFD, so no entry names a file by
// accident.
std::vector<std::string> DecodeListFile(std::string_view bytes, ILocale& locale);

// What a list file's bytes should be for these entries.
struct EncodedListFile {
    std::string Bytes;
    // Entries holding a line break: they cannot be stored as one line and were left out.
    std::vector<std::string> Skipped;
};

// Every line ends with CR LF. The 8-bit code page without a byte-order mark, unless an
// entry cannot be represented in it: then the whole file is UTF-8 with a byte-order mark,
// so that no name is stored corrupted.
EncodedListFile EncodeListFile(const std::vector<std::string>& entries, ILocale& locale);

// "name=day": the day number of the delayed list.
std::string FormatDayStamp(std::string_view name, int32_t day);
// "name=days.ffffff": the date-time of the lag list with six decimals and the locale's
// decimal separator.
std::string FormatDateTimeStamp(std::string_view name, TDateTime when,
                                std::string_view decimalSeparator);

// A day stamp read as a signed 32-bit decimal integer; 0 when it does not read as one.
int32_t ReadDayStamp(std::string_view value);
// A date-time stamp written with the given decimal separator; nothing when the value is
// not a finite number.
std::optional<TDateTime> ReadDateTimeStamp(std::string_view value,
                                           std::string_view decimalSeparator);

} // namespace brimble
