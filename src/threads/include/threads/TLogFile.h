#pragma once

// The leveled diagnostics log: an entry is appended (open, append, close) when its level
// does not exceed LogLevel; the header is written whenever the file is created anew.

#include <atomic>
#include <mutex>
#include <string>

namespace brimble {

class Platform;

class TLogFile {
public:
    TLogFile(Platform& platform, const std::string& AppName, const std::string& FileName,
             bool AppendLog);
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    void Write(const std::string& S, int LogLev);

    const std::string& FileName() const { return FFileName; }
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

    Platform& FPlatform;
    std::string FFileName;
    std::string FAppName;
    std::atomic<int> FLogLevel{1};
    std::recursive_mutex FLogCriticalSection;
};

} // namespace brimble
