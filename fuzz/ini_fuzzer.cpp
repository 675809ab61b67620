// The settings file reader and the value forms it shares: any bytes load, and what was
// loaded survives a save and a reload unchanged.

#include "FuzzSupport.h"
#include "options/OptionsStorage.h"
#include "platform/sim/SimPlatform.h"

#include <cstdint>
#include <limits>
#include <string>

namespace brimble::fuzz {
namespace {

const std::string kIni = "C:\\Brimble\\Brimble.ini";

void CheckSettingsFile(std::string_view bytes) {
    sim::SimPlatform sim;
    sim.AddVolume("C:\\", DriveType::Fixed);
    sim.AddFileWithContent(kIni, std::string(bytes));

    TBrimbleOptions loaded;
    LoadOptionsFromFile(sim, kIni, loaded);
    Check(SaveOptionsToFile(sim, kIni, loaded).ok(), "a readable settings file can be saved");
    const std::string saved = sim.Content(kIni);
    // A save writes every setting: a reload that read anything else would change the file.
    TBrimbleOptions reloaded;
    LoadOptionsFromFile(sim, kIni, reloaded);
    Check(SaveOptionsToFile(sim, kIni, reloaded).ok(), "a saved settings file can be saved again");
    Check(sim.Content(kIni) == saved, "saving the settings a saved file holds changes nothing");
}

void CheckStoredInteger(std::string_view text) {
    for (const bool wide : {false, true}) {
        const std::optional<int64_t> value = ParseStoredInteger(text, wide);
        if (!value) continue;
        if (!wide)
            Check(*value >= std::numeric_limits<int32_t>::min() &&
                      *value <= std::numeric_limits<int32_t>::max(),
                  "a narrow integer fits 32 bits");
        Check(ParseStoredInteger(std::to_string(*value), wide) == value,
              "an integer read back from its decimal form is the same");
    }
}

void CheckFolderList(std::string_view text) {
    const std::vector<std::string> entries = SplitFolderList(text);
    Check(SplitFolderList(JoinFolderList(entries)) == entries,
          "a joined folder list splits into the same entries");
}

} // namespace
} // namespace brimble::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = brimble::fuzz::AsText(data, size);
    brimble::fuzz::CheckSettingsFile(text);
    brimble::fuzz::CheckStoredInteger(text);
    brimble::fuzz::CheckFolderList(text);
    return 0;
}
