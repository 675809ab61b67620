#pragma once

#include <string>

namespace brimble {

class Platform;

// The program's folders, computed once at start-up before any window exists.
struct TProgramFolders {
    std::string LanguagesDir; // ends with the delimiter
    std::string HelpDir;      // the help pages; ends with the delimiter, found as LanguagesDir
    std::string UserDataDir;  // no trailing delimiter; last folder always "Brimble"
    std::string IniFileName;
    // The name the settings file and the log are named after: the program file's name
    // without folder and extension, unless a companion program uses the main program's.
    std::string ProgramName;
};

// Computes the three paths and creates UserDataDir (with missing parents) when absent.
TProgramFolders ComputeProgramFolders(Platform& platform);
// The same for a companion program that shares the files of the program ProgramName
// installed beside it.
TProgramFolders ComputeProgramFolders(Platform& platform, const std::string& programName);

} // namespace brimble
