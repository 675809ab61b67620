#pragma once

// The arguments of the headless programs: switches (-d[:LEVEL], the log level; for
// brimble-scan also --estimate) and, for brimble-scan, one folder.

#include <string>
#include <vector>

namespace brimble {

struct TScanArguments {
    std::vector<std::string> Switches; // as the engine reads them ("-d", "-d:2")
    std::string Folder;
    bool Help = false;
    bool Estimate = false; // brimble-scan --estimate: predict, change nothing
    std::string Error;     // set when the arguments cannot be used
};

// "--" ends the switches, so a folder may begin with "-".
TScanArguments ParseScanArguments(const std::vector<std::string>& arguments);

// How to call the command, for --help and for wrong arguments.
std::string ScanUsage();

// brimble-watch takes switches only; Folder stays empty.
TScanArguments ParseWatchArguments(const std::vector<std::string>& arguments);
std::string WatchUsage();

} // namespace brimble
