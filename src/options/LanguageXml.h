#pragma once

// The XML side of the language-file reader, kept apart so that a build without an XML
// reader still has everything else of the language files.

#include "options/LanguageFile.h"

#include <optional>
#include <string_view>
#include <vector>

namespace brimble {

// The element of each window of kLanguageWindows that the text has, in that order, named as
// the window and copied down to kMaxLanguageNesting. None when the text is no well-formed
// XML, or when this build reads no XML at all.
std::optional<std::vector<TLanguageNode>> ReadLanguageWindows(std::string_view xml);

} // namespace brimble
