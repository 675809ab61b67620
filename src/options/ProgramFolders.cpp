#include "options/ProgramFolders.h"

#include "platform/Platform.h"

namespace brimble {

namespace {

// The folder part of Path, with its trailing delimiter.
std::string FolderPart(const std::string& path, char delimiter) {
    const size_t slash = path.find_last_of(delimiter);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path, char delimiter) {
    return path.substr(FolderPart(path, delimiter).size());
}

// Path with the extension of its name part (from its last dot) replaced, or Extension
// appended when the name has none.
std::string ChangeFileExt(const std::string& path, char delimiter, const std::string& extension) {
    const size_t nameStart = FolderPart(path, delimiter).size();
    const size_t dot = path.find_last_of('.');
    const size_t stemEnd = (dot == std::string::npos || dot < nameStart) ? path.size() : dot;
    return path.substr(0, stemEnd) + extension;
}

std::string WithTrailingDelimiter(const std::string& path, char delimiter) {
    if (!path.empty() && path.back() == delimiter) return path;
    return path + delimiter;
}

std::string WithoutTrailingDelimiter(const std::string& path, char delimiter) {
    if (!path.empty() && path.back() == delimiter) return path.substr(0, path.size() - 1);
    return path;
}

// The folder Name beside the program; installed in a bin folder, the program finds its data
// folders in share/brimble beside it.
std::string DataFolder(IFileSystem& fs, const std::string& programDir, const char* name) {
    const char delimiter = fs.PathDelimiter();
    const std::string beside = programDir + delimiter + name + delimiter;
    const std::string shared = FolderPart(programDir, delimiter) + "share" + delimiter + "brimble" +
                               delimiter + name + delimiter;
    if (!fs.DirectoryExists(beside) && fs.DirectoryExists(shared)) return shared;
    return beside;
}

} // namespace

TProgramFolders ComputeProgramFolders(Platform& platform) {
    const char delimiter = platform.FileSystem().PathDelimiter();
    const std::string programPath = platform.Process().ProgramPath();
    return ComputeProgramFolders(platform,
                                 NamePart(ChangeFileExt(programPath, delimiter, ""), delimiter));
}

TProgramFolders ComputeProgramFolders(Platform& platform, const std::string& programName) {
    IFileSystem& fs = platform.FileSystem();
    IProcess& process = platform.Process();
    const char delimiter = fs.PathDelimiter();
    const std::string programPath = process.ProgramPath();

    TProgramFolders folders;
    const std::string programDir =
        WithoutTrailingDelimiter(FolderPart(programPath, delimiter), delimiter);
    folders.LanguagesDir = DataFolder(fs, programDir, "Languages");
    folders.HelpDir = DataFolder(fs, programDir, "help");

    // The folder is called "Brimble" whatever the program file is called.
    folders.UserDataDir = WithTrailingDelimiter(process.LocalAppDataDir(), delimiter) + "Brimble";
    // Not reported when it fails: the writes into it fail later, where they happen.
    if (!fs.DirectoryExists(folders.UserDataDir)) fs.ForceDirectories(folders.UserDataDir);

    // A settings file beside the program wins; otherwise the per-user one, named the same.
    folders.ProgramName = programName;
    folders.IniFileName = FolderPart(programPath, delimiter) + programName + ".ini";
    if (!fs.FileExists(folders.IniFileName))
        folders.IniFileName =
            folders.UserDataDir + delimiter + NamePart(folders.IniFileName, delimiter);
    return folders;
}

} // namespace brimble
