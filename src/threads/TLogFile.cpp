#include "threads/TLogFile.h"

#include "base/DateTime.h"
#include "base/VisibleText.h"
#include "platform/Platform.h"
#include "threads/uCommonFunctions.h"

#include <optional>

namespace brimble {

namespace {

constexpr std::string_view LineEnd = "\r\n";

std::string HeaderText(const std::string& appName, const std::string& version) {
    const std::string rule(62, '-');
    std::string text;
    text.append(rule).append(LineEnd);
    text.append(appName).append(" version ").append(version).append(LineEnd);
    text.append(rule).append(LineEnd);
    text.append(LineEnd);
    return text;
}

// Every line of the file ends with CR LF, whatever break the message itself used.
std::string WithCrLfLineEnds(const std::string& text) {
    std::string result;
    result.reserve(text.size() + LineEnd.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            result.append(LineEnd);
        } else {
            result.push_back(c);
        }
    }
    result.append(LineEnd);
    return result;
}

} // namespace

TLogFile::TLogFile(Platform& platform, const std::string& AppName, const std::string& FileName,
                   bool AppendLog, int64_t MaxBytes)
    : FPlatform(platform), FFileName(FileName), FAppName(AppName), FMaxBytes(MaxBytes) {
    if (!AppendLog) WriteHeader();
}

void TLogFile::Write(const std::string& S, int LogLev) {
    if (LogLev > FLogLevel.load(std::memory_order_relaxed)) return;

    std::lock_guard lock(FLogCriticalSection);
    try {
        IFileSystem& fs = FPlatform.FileSystem();
        // A log that is not there (first run, or deleted by the user) starts with its
        // header. Opening for append would create it bare, so existence is asked first.
        const std::optional<TFileAttrRec> entry = fs.FindEntry(FFileName);
        bool existed = entry && !(entry->Attr & fa::Directory);
        if (existed && entry->Size >= FMaxBytes && Rotate()) existed = false;
        if (!existed && !WriteHeader()) return;
        OsValue<std::unique_ptr<IOutputFile>> file = fs.OpenForWrite(FFileName, WriteMode::Append);
        if (!file) {
            // An existing log that cannot be opened (locked, no access) is left as it is
            // rather than truncated, and the entry is dropped without a sound.
            if (!existed) Alert();
            return;
        }
        // No control character reaches the file raw; a message's own line breaks stay (names
        // in a message are escaped whole where they are put in, so they cannot forge lines).
        const std::string line =
            WithCrLfLineEnds(TimeStamp() + '\t' +
                             VisibleText(S, {.EscapeBackslash = false, .KeepLineBreaks = true}));
        IOutputFile& out = **file;
        if (!out.Write(FPlatform.Locale().ToAnsi(line)) || !out.Close()) Alert();
    } catch (...) {
        // No failure of the log may reach its caller; the entry is lost.
        Alert();
    }
}

bool TLogFile::WriteHeader() {
    std::lock_guard lock(FLogCriticalSection);
    bool created = false;
    try {
        OsValue<std::unique_ptr<IOutputFile>> opened =
            FPlatform.FileSystem().OpenForWrite(FFileName, WriteMode::Truncate);
        if (!opened) return false;
        IOutputFile& file = **opened;
        created = true;
        IProcess& process = FPlatform.Process();
        const std::string version =
            GetFileVersionString(process, process.ProgramPath(), "%M.%m.%r build %b");
        const std::string header = FPlatform.Locale().ToAnsi(HeaderText(FAppName, version));
        if (file.Write(header) && file.Close()) return true;
    } catch (...) {
    }
    // Entries after a half-written header would leave the file without one for good;
    // without the file, the next entry tries the header again.
    if (created) DeleteQuietly();
    return false;
}

std::string TLogFile::TimeStamp() {
    const TDateTime now = FPlatform.Clock().Now();
    const DateParts parts = DecodeDateTime(now);
    ILocale& locale = FPlatform.Locale();
    std::string stamp = locale.FormatShortDate(parts);
    if (!IsMidnight(now)) stamp.append(" ").append(locale.FormatLongTime(parts));
    return stamp;
}

void TLogFile::Alert() noexcept {
    try {
        FPlatform.Process().MessageBeep();
    } catch (...) {
    }
}

bool TLogFile::Rotate() {
    IFileSystem& fs = FPlatform.FileSystem();
    const std::string older = FFileName + ".1";
    if (fs.FindEntry(older) && !fs.EraseFile(older)) return false;
    return fs.RenameEntry(FFileName, older).ok();
}

bool TLogFile::IsLogFile(const std::string& Path) {
    IFileSystem& fs = FPlatform.FileSystem();
    if (fs.PathRules().Same(Path, FFileName)) return true;
    // Only a file of the log's name can be the log: the cheap test first.
    const char delimiter = fs.PathDelimiter();
    const auto nameOf = [delimiter](const std::string& path) {
        const auto at = path.rfind(delimiter);
        return at == std::string::npos ? path : path.substr(at + 1);
    };
    if (!fs.PathRules().Same(nameOf(Path), nameOf(FFileName))) return false;
    return fs.SameFile(Path, FFileName);
}

void TLogFile::DeleteQuietly() noexcept {
    try {
        FPlatform.FileSystem().EraseFile(FFileName);
    } catch (...) {
    }
}

} // namespace brimble
