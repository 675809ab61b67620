#include "LanguageXml.h"

// Built in place of the XML reader where no XML library is there for the target (the
// cross build): the program then keeps its English texts.

namespace brimble {

bool LanguageFilesReadable() {
    return false;
}

std::optional<std::vector<TLanguageNode>> ReadLanguageWindows(std::string_view) {
    return std::nullopt;
}

} // namespace brimble
