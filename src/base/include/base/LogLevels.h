#pragma once

// The levels of log entries. An entry is written when its level does not exceed the log
// level the command line sets (0 without the switch, 1 with a bare -d).
namespace brimble {

inline constexpr int llUnhandledError = -1; // an error that reached the UI loop
inline constexpr int llPassFailure = 0;     // a background pass failed
inline constexpr int llNotice = 1;          // life cycle, failures and warnings
inline constexpr int llTrace = 2;           // each file and event

} // namespace brimble
