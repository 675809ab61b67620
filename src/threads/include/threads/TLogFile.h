#pragma once

// The leveled diagnostics log: an entry is appended (open, append, close) when its level
// does not exceed LogLevel; the header is written whenever the file is created anew. A log
// that reaches MaxBytes becomes the one older file (the name followed by ".1", replacing
// the one before) and a new log begins: a service that runs with every file logged stays
// within twice that size.

#include "base/LogLevels.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace brimble {

class Platform;

class TLogFile {
public:
    static constexpr int64_t DefaultMaxBytes = 10 * 1024 * 1024;

    TLogFile(Platform& platform, const std::string& AppName, const std::string& FileName,
             bool AppendLog, int64_t MaxBytes = DefaultMaxBytes);
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    void Write(const std::string& S, int LogLev);

    const std::string& FileName() const { return FFileName; }
    // Whether Path is this log, by the file it leads to: a folder reached through a link
    // must not make the log report its own growth.
    bool IsLogFile(const std::string& Path);
    const std::string& AppName() const { return FAppName; }
    int LogLevel() const { return FLogLevel.load(std::memory_order_relaxed); }
    void SetLogLevel(int level) { FLogLevel.store(level, std::memory_order_relaxed); }

private:
    // Creates the file anew (truncating it) with the header; false when that failed.
    bool WriteHeader();
    std::string TimeStamp();
    // The platform's alert for an entry that was lost after the file opened.
    void Alert() noexcept;
    void DeleteQuietly() noexcept;
    // Moves a full log to the older file; false when the log stays as it is.
    bool Rotate();

    Platform& FPlatform;
    std::string FFileName;
    std::string FAppName;
    const int64_t FMaxBytes;
    std::atomic<int> FLogLevel{1};
    std::recursive_mutex FLogCriticalSection;
};

} // namespace brimble
