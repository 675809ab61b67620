#include "platform/posix/ErrorText.h"

#include <string.h>

namespace brimble::posix {

std::string ErrorText(int code) {
    if (code == ErrNotRegularFile) return "Not a regular file";
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    std::string text = ::strerror_r(code, buffer, sizeof buffer);
    while (!text.empty() &&
           (text.back() == '.' || text.back() == ' ' || text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace brimble::posix
