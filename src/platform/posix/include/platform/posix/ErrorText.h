#pragma once

#include <string>

namespace brimble::posix {

// strerror's text for an errno value, without trailing blanks, line breaks and full stops.
std::string ErrorText(int code);

} // namespace brimble::posix
