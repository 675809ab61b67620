#pragma once

// Path text helpers of the Linux back end: '/' separated, absolute paths.

#include "platform/Platform.h"

#include <string>
#include <string_view>

namespace brimble::posix {

// Path without its trailing slashes; the root stays "/".
std::string WithoutTrailingSlash(std::string_view path);
// Path ending in exactly one slash.
std::string WithTrailingSlash(std::string_view path);
// The last component of Path ("" for the root).
std::string LastComponent(std::string_view path);
// Path with its links resolved as far as it exists; the missing rest is appended as
// written, so a path that does not exist yet still names its future place.
// Empty for a relative path.
std::string ResolvePath(const std::string& path);
// Whether Path lies at or below Dir (both without trailing slash, Dir may be "/").
bool IsAtOrBelow(std::string_view path, std::string_view dir);

// Linux paths: names compare byte for byte, as the kernel does.
class PosixPathRules final : public IPathRules {
public:
    int Compare(std::string_view a, std::string_view b) const override;
    bool IsAtOrBelow(std::string_view path, std::string_view folder) const override;
    std::string Normalize(std::string_view path) const override;
};

} // namespace brimble::posix
