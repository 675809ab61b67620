#pragma once

// The exit codes of the three programs, in one place.

namespace brimble {

inline constexpr int kExitDone = 0;
// An error ended the work (the reason on standard error and in the log), the instance lock
// could not be taken for another reason than a running instance, or the tray program found
// no desktop to show its window on.
inline constexpr int kExitFailed = 1;
// Refused before any work: a bad argument or folder, a volume that cannot compress, smart
// compression switched off for the background service.
inline constexpr int kExitRefused = 2;
inline constexpr int kExitAlreadyRunning = 82;
inline constexpr int kExitPlatformTooOld = 87;
// Stopped by Ctrl-C or SIGTERM (128 + SIGINT, as shells report it).
inline constexpr int kExitStopped = 130;

} // namespace brimble
