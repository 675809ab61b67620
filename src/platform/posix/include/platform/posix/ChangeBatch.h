#pragma once

// What the change readers share: the records of one read, the filter they honour and the
// sizes they compare to tell a resize from a write that keeps the size.

#include "platform/Platform.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace brimble::posix {

// The notification filter bits that mean something here.
struct WatchFilter {
    bool FileNames = false; // files created, deleted, renamed
    bool DirNames = false;  // folders created, deleted, renamed
    bool Sizes = false;     // files whose size changed

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

// The last size seen per path, so that only a change of size is reported as one. A path
// never seen counts as changed. Bounded: when full it starts afresh.
class SizeTracker {
public:
    bool Changed(const std::string& path, int64_t size);
    void Remember(const std::string& path, int64_t size);
    void Forget(const std::string& path) { FSizes.erase(path); }

private:
    std::unordered_map<std::string, int64_t> FSizes;
};

// Name joined to a relative folder ("" for the watched root).
std::string JoinRelative(const std::string& folder, const std::string& name);

} // namespace brimble::posix
