#pragma once

// The new files marked for compression as they were created, each until the report of the
// finished file settles it: kept compressed, rewritten or undone; and the new folders marked
// so, which pass the mark on to what is created in them from then on.

#include "platform/Platform.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace brimble {

class TNewFileMarks {
public:
    // A file deleted before it was finished leaves its mark here until a clean-up.
    static constexpr std::size_t MaxMarks = 65536;

    bool Full() const { return FMarks.size() >= MaxMarks; }
    bool Contains(const std::string& FileName) const { return FMarks.contains(FileName); }
    void Add(const std::string& FileName, TNewFileMark Mark) { FMarks[FileName] = Mark; }
    // The file's mark, which leaves the set; nothing when the file was not marked.
    std::optional<TNewFileMark> Take(const std::string& FileName) {
        const auto found = FMarks.find(FileName);
        if (found == FMarks.end()) return std::nullopt;
        const TNewFileMark mark = found->second;
        FMarks.erase(found);
        return mark;
    }
    // Forgets the marks of files and folders that are gone.
    void DropGone(const std::function<bool(const std::string&)>& Exists) {
        std::erase_if(FMarks, [&](const auto& entry) { return !Exists(entry.first); });
        std::erase_if(FFolders, [&](const std::string& folder) { return !Exists(folder); });
    }

    // Folders by their path without the trailing delimiter.
    bool FoldersFull() const { return FFolders.size() >= MaxMarks; }
    void AddFolder(const std::string& Folder) { FFolders.insert(Folder); }
    bool HasFolder(const std::string& Folder) const { return FFolders.contains(Folder); }

private:
    std::unordered_map<std::string, TNewFileMark> FMarks;
    std::unordered_set<std::string> FFolders;
};

} // namespace brimble
