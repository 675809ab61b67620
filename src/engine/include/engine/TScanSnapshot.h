#pragma once

// What the scan thread's directory check reads, taken from the options when a scan starts
// and never changed afterwards: the options dialog may edit the options during the walk.

#include "platform/Platform.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimble {

// Index of the first of Folders (normalised) that Dir lies in or is; nothing when none does.
std::optional<std::size_t> CoveringFolderIndex(const IPathRules& rules,
                                               const std::vector<std::string>& folders,
                                               std::string_view dir);

class TScanSnapshot {
public:
    // Rules must outlive the snapshot (the platform's rules do).
    TScanSnapshot(const IPathRules& rules, bool excludeFoldersEnabled,
                  std::vector<std::string> expandedFolders)
        : FRules(rules), FExcludeFoldersEnabled(excludeFoldersEnabled),
          FExpandedFolders(std::move(expandedFolders)) {}

    bool IsFolderExcluded(std::string_view dir) const {
        return FExcludeFoldersEnabled &&
               CoveringFolderIndex(FRules, FExpandedFolders, dir).has_value();
    }

private:
    const IPathRules& FRules;
    const bool FExcludeFoldersEnabled;
    const std::vector<std::string> FExpandedFolders;
};

} // namespace brimble
