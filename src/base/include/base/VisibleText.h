#pragma once

// Text made safe for a terminal or a line-based log: nothing in it can move the cursor,
// change colours or start a new line. Every control character is shown as an escape:
// TAB, LF and CR as \t \n \r, the other C0 controls and DEL as \xHH, and the two bytes of
// a C1 control (U+0080..U+009F) as \xc2\xHH; a byte that is not part of valid UTF-8 is
// shown as \xHH too. Where names may hold a backslash of their own (Linux), it is doubled
// so that every escape reads back as exactly one name.

#include <string>
#include <string_view>

namespace brimble {

struct TVisibleTextRules {
    bool EscapeBackslash = true;
    bool KeepLineBreaks = false; // CR and LF stay as they are (a message's own lines)
};

std::string VisibleText(std::string_view text, TVisibleTextRules rules = {});

} // namespace brimble
