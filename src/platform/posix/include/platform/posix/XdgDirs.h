#pragma once

// The user's folders by the XDG base-directory rules, each without trailing slash.

#include <optional>
#include <string>

namespace brimble::posix {

std::string HomeDir();
std::string DataHome();                  // $XDG_DATA_HOME, else ~/.local/share
std::string ConfigHome();                // $XDG_CONFIG_HOME, else ~/.config
std::string TempDir();                   // $TMPDIR, else /tmp
std::optional<std::string> RuntimeDir(); // $XDG_RUNTIME_DIR when set

} // namespace brimble::posix
