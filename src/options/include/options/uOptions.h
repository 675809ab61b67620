#pragma once

// The one options record of the process. Creation applies no defaults: a load from a
// settings file without keys does (see OptionsTable.h).

#include <cstdint>
#include <string>
#include <vector>

namespace brimble {

enum class TSmartCompressMode : uint8_t { scmDisabled = 0, scmOnIdle = 1, scmInteractive = 2 };
enum class TSmartDecompress : uint8_t { sdNone = 0, sdExcluded = 1, sdAllButCompress = 2 };

struct TBrimbleOptions {
    TSmartCompressMode SmartCompressMode = TSmartCompressMode::scmDisabled;
    int32_t IdleTime = 0;
    bool Autostart = false;
    bool StartHidden = false;
    std::string Language;
    bool MaxFileSizeFilteredEnable = false;
    int64_t MaxFileSizeFiltered = 0;
    bool MaxFileSizeUnfilteredEnable = false;
    int64_t MaxFileSizeUnfiltered = 0;
    bool CompressEncrypted = false;
    // Also files whose data is shared with a snapshot or another file: compressing them
    // un-shares the data, so the volume may lose space.
    bool CompressSharedFiles = false;
    // In the interactive mode, a file is marked for compression as it is created, so that
    // its data is compressed on the way to the disk instead of rewritten afterwards.
    bool CompressNewFiles = false;
    // With it, a new folder is marked too, so that what is written into it is compressed
    // however fast it comes. The mark stays with the folder: later files there are
    // compressed by the file system even while this program is not running, whatever the
    // filters say. So only at the user's request.
    bool CompressNewFolders = false;
    // zstd's level for manual scans (1 fastest .. 15 smallest); the background mode uses the
    // file system's default unless SmartCompressionLevel says otherwise.
    int32_t CompressionLevel = 0;
    bool SmartCompressionLevel = false;
    // The on-idle mode waits for the machine's own idleness (little waiting for processor
    // and disk) instead of the user's input: for servers and desktops that never say.
    bool IdleFromMachineLoad = false;
    TSmartDecompress SmartDecompress = TSmartDecompress::sdNone;
    std::string FilterIncluding;
    std::string FilterExcluding;
    bool CompressUnfiltered = false;
    bool ExcludeFoldersEnabled = false;
    // Entries name=value; only the names (folder paths, maybe starting with %VAR%) are used.
    std::vector<std::string> ExcludeFolders;
    bool BeepOnComplete = false;
    uint8_t Priority = 0;                 // 0 idle .. 3 normal .. 6 time-critical
    int32_t CompressionDelay = 0;         // seconds
    int32_t CompressAgainDelay = 0;       // milliseconds
    int32_t MoveToNeverCompressDelay = 0; // days
};

} // namespace brimble
