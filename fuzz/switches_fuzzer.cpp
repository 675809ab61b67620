// The command line. The input is a switch name and the arguments, one a line; the switch
// readers and the headless programs' argument parsing take any of them.

#include "CommandLine.h"
#include "FuzzSupport.h"
#include "threads/uCommonFunctions.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace brimble::fuzz {
namespace {

const std::string kDefault = "<bare>";

void CheckSwitch(const std::vector<std::string>& arguments, const std::string& name) {
    const std::string exact = GetSwitchValue(arguments, name, kDefault, true);
    const std::string anyCase = GetSwitchValue(arguments, name, kDefault, false);
    // Ignoring case only finds more: a switch found as written is found in any case.
    Check(exact == SwitchAbsent || anyCase != SwitchAbsent,
          "a switch found with case is found without");
    if (exact != SwitchAbsent && exact != kDefault)
        Check(std::any_of(arguments.begin(), arguments.end(),
                          [&](const std::string& a) { return a.ends_with(exact); }),
              "a switch value is the end of an argument");
    LogLevelFromCommandLine(arguments);
}

bool IsArgument(const std::vector<std::string>& arguments, const std::string& text) {
    return std::find(arguments.begin(), arguments.end(), text) != arguments.end();
}

void CheckParsed(const std::vector<std::string>& arguments, const TScanArguments& parsed) {
    for (const std::string& s : parsed.Switches)
        Check(IsArgument(arguments, s), "a switch is one of the arguments");
    if (parsed.Error.empty() && !parsed.Help && !parsed.Folder.empty())
        Check(IsArgument(arguments, parsed.Folder), "the folder is one of the arguments");
    LogLevelFromCommandLine(parsed.Switches);
}

} // namespace
} // namespace brimble::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brimble;
    std::vector<std::string> lines = fuzz::SplitAt(fuzz::AsText(data, size), '\n');
    // An argument ends at a NUL, as the system hands it over.
    for (std::string& line : lines)
        line = line.c_str();
    const std::string name = lines.front();
    lines.erase(lines.begin());
    fuzz::CheckSwitch(lines, name);
    fuzz::CheckParsed(lines, ParseScanArguments(lines));
    fuzz::CheckParsed(lines, ParseWatchArguments(lines));
    return 0;
}
