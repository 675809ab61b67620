#include "CommandLine.h"

#include "base/TextCase.h"

namespace brimble {

namespace {

// The log-level switch in the forms the engine reads: -d, -d:LEVEL, -d=LEVEL.
bool IsLogLevelSwitch(const std::string& argument) {
    if (argument.size() < 2 || !SameText(argument.substr(1, 1), "d")) return false;
    return argument.size() == 2 || argument[2] == ':' || argument[2] == '=';
}

// Switches into Result, the other arguments into Folders; false (with Result.Error) at an
// unknown switch.
bool SplitArguments(const std::vector<std::string>& arguments, TScanArguments& result,
                    std::vector<std::string>& folders, bool estimateAllowed) {
    bool switchesEnded = false;
    for (const std::string& argument : arguments) {
        if (switchesEnded || argument.empty() || argument[0] != '-') {
            folders.push_back(argument);
        } else if (argument == "--") {
            switchesEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            result.Help = true;
        } else if (estimateAllowed && argument == "--estimate") {
            result.Estimate = true;
        } else if (IsLogLevelSwitch(argument)) {
            result.Switches.push_back(argument);
        } else {
            result.Error = "Unknown switch: " + argument;
            return false;
        }
    }
    return true;
}

} // namespace

TScanArguments ParseScanArguments(const std::vector<std::string>& arguments) {
    TScanArguments result;
    std::vector<std::string> folders;
    if (!SplitArguments(arguments, result, folders, true) || result.Help) return result;
    if (folders.size() != 1)
        result.Error = folders.empty() ? "No folder given." : "Give exactly one folder.";
    else
        result.Folder = folders.front();
    return result;
}

TScanArguments ParseWatchArguments(const std::vector<std::string>& arguments) {
    TScanArguments result;
    std::vector<std::string> extra;
    if (!SplitArguments(arguments, result, extra, false) || result.Help) return result;
    if (!extra.empty()) result.Error = "Unexpected argument: " + extra.front();
    return result;
}

std::string WatchUsage() {
    return "Usage: brimble-watch [-d[:LEVEL]]\n"
           "Watches the ticked btrfs volumes and compresses files that change, by the\n"
           "smart-compress mode of the settings, until SIGTERM or SIGINT.\n"
           "  -d[:LEVEL]  log level of brimble.log (0 to 2; -d alone is 1)\n"
           "Exit codes: 0 stopped by a signal, 1 failed, 2 wrong arguments, 82 Brimble is\n"
           "already running.\n";
}

std::string ScanUsage() {
    return "Usage: brimble-scan [-d[:LEVEL]] [--estimate] FOLDER\n"
           "Compresses the files below FOLDER that the settings admit, with the file\n"
           "system's own compression (btrfs), and prints the totals.\n"
           "  -d[:LEVEL]  log level of brimble.log (0 to 2; -d alone is 1)\n"
           "  --estimate  change nothing: predict what a scan would save and print the\n"
           "              totals it would print, marked as an estimate\n"
           "Exit codes: 0 done, 2 wrong arguments, path or drive, 82 Brimble is already\n"
           "running, 130 stopped by Ctrl-C or SIGTERM.\n";
}

} // namespace brimble
