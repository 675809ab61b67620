#pragma once

// What the change readers share: the records of one read, the filter they honour and the
// new files whose report waits until they are written and closed.

#include "platform/Platform.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace brimble::posix {

// The notification filter bits that mean something here.
struct WatchFilter {
    bool FileNames = false; // files created, deleted, renamed
    bool DirNames = false;  // folders created, deleted, renamed
    bool Sizes = false;     // files written (counted when they are closed)

    static WatchFilter FromBits(uint32_t filter);
    bool Names(bool isDirectory) const { return isDirectory ? DirNames : FileNames; }
};

// The records of one read. The same record twice in a row is kept once; after a lost
// batch the read yields the single record that says so.
class ChangeBatch {
public:
    void Add(uint32_t action, std::string name);
    void Overflow() { FOverflow = true; }
    bool Empty() const { return !FOverflow && FRecords.empty(); }
    // Hands the records over and starts a new batch.
    void MoveTo(std::vector<ChangeRecord>& records);

private:
    std::vector<ChangeRecord> FRecords;
    bool FOverflow = false;
};

// Whether a new entry (Name in the folder DirFd, or a path with AT_FDCWD) is a file that is
// being written: a plain file with one name. Its creation counts once it is closed, when its
// content is complete; a link, a second name of a file or anything but a plain file is
// complete as it appears.
bool IsFileBeingWritten(int dirFd, const std::string& name);

// How the readers turn what the kernel tells into records for written files: a new file is
// reported as created when it is first closed after writing, any other file as modified at
// each such close. Bounded: when full it starts afresh, and a file then forgotten is
// reported as modified rather than created, which the watcher handles alike.
class WrittenFiles {
public:
    void Created(const std::string& path);
    void Gone(const std::string& path) { FCreated.erase(path); }
    // The action of the record for a close after writing.
    uint32_t Closed(const std::string& path);

private:
    std::unordered_set<std::string> FCreated;
};

// Name joined to a relative folder ("" for the watched root).
std::string JoinRelative(const std::string& folder, const std::string& name);

} // namespace brimble::posix
