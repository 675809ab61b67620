#pragma once

#include <string>

namespace brimble::posix {

// A code of the back end's own beside the errno values: a FIFO, device or socket where a
// file of data was expected.
constexpr int ErrNotRegularFile = 0x10000;

// strerror's text for an errno value (or the text of a code above), without trailing
// blanks, line breaks and full stops.
std::string ErrorText(int code);

} // namespace brimble::posix
