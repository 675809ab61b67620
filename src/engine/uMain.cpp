#include "engine/uMain.h"

#include "base/VisibleText.h"
#include "options/OptionsStorage.h"
#include "threads/TScanPathThread.h"

namespace brimble {

namespace {

// The program's file name with its extension replaced, without the folder.
std::string ProgramFileNameWithExtension(const std::string& programPath, char delimiter,
                                         const std::string& extension) {
    const auto slash = programPath.find_last_of(delimiter);
    std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name + extension;
}

} // namespace

TfrmBrimblemain::TfrmBrimblemain(Platform& platform, IUiLoop& uiLoop, IMainView& view,
                                 const TProgramFolders& folders)
    : FPlatform(platform), FUiLoop(uiLoop), FView(view), FFolders(folders),
      FOptions(std::make_unique<TBrimbleOptions>()) {
    FLagCompressList = std::make_unique<TCompressList>(platform.FileSystem().PathRules());
    FDelayedCompressList = std::make_unique<TCompressList>(platform.FileSystem().PathRules());
    FNeverCompressList = std::make_unique<TCompressList>(platform.FileSystem().PathRules());
    IFileSystem& fs = platform.FileSystem();
    const std::string logFile = folders.ProgramName.empty()
                                    ? ProgramFileNameWithExtension(platform.Process().ProgramPath(),
                                                                   fs.PathDelimiter(), ".log")
                                    : folders.ProgramName + ".log";
    const std::string logName = folders.UserDataDir + fs.PathDelimiter() + logFile;
    FLogFile = std::make_unique<TLogFile>(platform, "Brimble", logName, true);
    FLogFile->SetLogLevel(LogLevelFromCommandLine(platform.Process().CommandLineArguments()));
    FLogFile->Write("Program started", llNotice);

    // Created switched off; applying the options sets and switches them.
    FtmrIncessant = uiLoop.CreateTimer([this] { tmrIncessantTimer(); });
    FtmrIncessant->SetInterval(1000);
    FtmrDelayedCompress = uiLoop.CreateTimer([this] { tmrDelayedCompressTimer(); });
    FtmrDelayedCompress->SetInterval(300'000);
}

TfrmBrimblemain::~TfrmBrimblemain() {
    // The timers, the watchers and the scan thread call back into this object: end them
    // before any field they read is released.
    FtmrIncessant.reset();
    FtmrDelayedCompress.reset();
    FMonitoringDrivesList.clear();
    FScanPathThread.reset();
}

void TfrmBrimblemain::LoadSettingsAndLists() {
    LoadSettings();
    LoadLists();
}

void TfrmBrimblemain::LoadSettings() {
    IFileSystem& fs = FPlatform.FileSystem();
    // A file that is there but cannot be read (no permission, a FIFO, a folder) gives the
    // defaults; say why.
    FSettingsReadError.clear();
    if (const OsResult read = LoadOptionsFromFile(fs, FFolders.IniFileName, *FOptions); !read) {
        FSettingsReadError = fs.SysErrorMessage(read.code());
        Log("Cannot read settings file \"" + LogName(FFolders.IniFileName) +
                "\": " + FSettingsReadError,
            llNotice);
    }
}

void TfrmBrimblemain::Log(const std::string& S, int LogLev) {
    FLogFile->Write(S, LogLev);
}

std::string TfrmBrimblemain::LogName(const std::string& Name) {
    // Where the delimiter is a backslash no name holds one of its own: no doubling needed.
    return VisibleText(Name, {.EscapeBackslash = FPlatform.FileSystem().PathDelimiter() != '\\'});
}

} // namespace brimble
