#pragma once

// The single-instance lock: an exclusive flock on a lock file in $XDG_RUNTIME_DIR (or, where
// that is not set, the user's data folder). The kernel drops the lock with the process, so a
// crashed instance never blocks the next one.

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace brimble::posix {

// The file that holds the lock for Name.
std::string InstanceLockFile(const std::string& name);
// Null when another process holds the lock. Where no lock file can be made at all, the
// lock is granted without one: refusing to start would claim an instance that is not there.
std::unique_ptr<IInstanceLock> AcquireInstanceLock(const std::string& name);

} // namespace brimble::posix
