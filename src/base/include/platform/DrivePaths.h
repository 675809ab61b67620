#pragma once

// Drive-letter paths (C:\Dir\File) as Windows and the sim read them: letter case ignored,
// "\" or "/" between names, "." and ".." taken by the text alone.

#include "platform/Platform.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

struct TDrivePath {
    char Drive = 0; // upper case
    std::vector<std::string> Parts;
};

bool IsDrivePathSeparator(char c);
// Nothing unless Path starts with a letter and a colon, followed by a separator or nothing
// ("C:name" is relative to a current folder).
std::optional<TDrivePath> ParseDrivePath(std::string_view path);
// "C:" or "C:\" (any letter case); the upper-case letter, or 0.
char DriveLetterOfRoot(std::string_view root);
// What a user may type as a folder to scan: a letter, ":" and "\".
bool IsDriveScanPath(std::string_view path);

class TDrivePathRules final : public IPathRules {
public:
    int Compare(std::string_view a, std::string_view b) const override;
    bool IsAtOrBelow(std::string_view path, std::string_view folder) const override;
    std::string Normalize(std::string_view path) const override;
};

} // namespace brimble
