#pragma once

#include <string>

namespace brimble {

class Platform;

// The program's folders, computed once at start-up before any window exists.
struct TProgramFolders {
    std::string LanguagesDir; // ends with the delimiter
    std::string UserDataDir;  // no trailing delimiter; last folder always "Brimble"
    std::string IniFileName;
};

// Computes the three paths and creates UserDataDir (with missing parents) when absent.
TProgramFolders ComputeProgramFolders(Platform& platform);

} // namespace brimble
