#pragma once

// The single-instance lock: an exclusive flock on a lock file in the user's data folder
// (~/.local/share/Brimble), the folder of the settings and lists it guards, so every
// instance that uses those files finds the same lock whatever its environment. The kernel
// drops the lock with the process, so a crashed instance never blocks the next one.

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace brimble::posix {

// The file that holds the lock for Name.
std::string InstanceLockFile(const std::string& name);
// A null lock when another process holds it. Fails with the reason when the lock cannot be
// taken otherwise (no permission, read-only folder, no locks there): running without it
// could put two instances on the same files.
OsValue<std::unique_ptr<IInstanceLock>> AcquireInstanceLock(const std::string& name);

} // namespace brimble::posix
