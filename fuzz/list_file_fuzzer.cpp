// The list files: any bytes decode into entries, entries survive an encode and a decode,
// and the stamps and the sorted list take whatever the entries hold.

#include "FuzzSupport.h"
#include "base/TextCodec.h"
#include "engine/ListFileFormat.h"
#include "engine/TCompressList.h"
#include "platform/posix/PosixLocale.h"
#include "platform/sim/SimPlatform.h"

#include <cstdint>
#include <string>

namespace brimble::fuzz {
namespace {

// Entries come back as they were. A UTF-8 file (the code page cannot hold a name, or the
// first name begins like a byte-order mark) holds no bytes that are not UTF-8: those come
// back as U+FFFD.
void CheckRoundTrip(std::string_view bytes, ILocale& locale) {
    const std::vector<std::string> entries = DecodeListFile(bytes, locale);
    for (const std::string& entry : entries)
        Check(entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
              "a decoded entry holds no line break and no NUL");
    const EncodedListFile encoded = EncodeListFile(entries, locale);
    Check(encoded.Skipped.empty(), "no decoded entry is skipped when encoding");
    const std::vector<std::string> decoded = DecodeListFile(encoded.Bytes, locale);
    if (decoded == entries) return;
    Check(EncodingOfBom(encoded.Bytes) == TTextEncoding::Utf8,
          "a file in the code page decodes to the entries it was written from");
    std::vector<std::string> wellFormed;
    for (const std::string& entry : entries)
        wellFormed.push_back(SanitizeUtf8(entry));
    Check(decoded == wellFormed, "a UTF-8 file decodes to the entries it was written from");
}

void CheckStamps(std::string_view entry) {
    const std::string_view name = TCompressList::NameOf(entry);
    const std::string_view value = TCompressList::ValueOf(entry);
    const int32_t day = ReadDayStamp(value);
    Check(ReadDayStamp(TCompressList::ValueOf(FormatDayStamp(name, day))) == day,
          "a written day stamp reads back");
    for (const std::string_view separator : {".", ","})
        if (const std::optional<TDateTime> when = ReadDateTimeStamp(value, separator))
            Check(
                ReadDateTimeStamp(
                    TCompressList::ValueOf(FormatDateTimeStamp(name, *when, separator)), separator)
                    .has_value(),
                "a written date-time stamp reads back");
}

void CheckList(const std::vector<std::string>& entries, const IPathRules& rules) {
    TCompressList list(rules);
    for (const std::string& entry : entries) {
        list.Add(entry);
        CheckStamps(entry);
    }
    for (const std::string& entry : entries) {
        Check(list.Contains(entry), "every added entry is found");
        Check(list.IndexOfName(TCompressList::NameOf(entry)) != TCompressList::npos,
              "every added entry is found by its name");
    }
}

} // namespace
} // namespace brimble::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brimble;
    const std::string_view bytes = fuzz::AsText(data, size);
    sim::SimPlatform sim; // Windows-1252 and case-insensitive paths
    // The Linux locale, whose code page is UTF-8: names pass as bytes. Made once, as each
    // locale maps the system's locale archive anew.
    static posix::PosixLocale utf8CodePage;
    fuzz::CheckRoundTrip(bytes, sim);
    fuzz::CheckRoundTrip(bytes, utf8CodePage);
    fuzz::CheckList(DecodeListFile(bytes, sim), sim.PathRules());
    return 0;
}
