#include "engine/AboutTexts.h"

#include "engine/ErrorReportText.h"
#include "platform/Platform.h"
#include "threads/uCommonFunctions.h"

#include <stdexcept>

namespace brimble {

namespace {

// The host part of a web address.
std::string Domain(const std::string& address) {
    std::string::size_type start = address.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    return address.substr(start, address.find('/', start) - start);
}

// Kept out of line, so that the report shows each call of the test as a frame.
[[gnu::noinline]] int CheckedQuotient(int dividend, int divisor) {
    if (divisor == 0) throw std::domain_error("Division by zero");
    return dividend / divisor;
}

[[gnu::noinline]] int FilesPerFolder(int files, int folders) {
    return CheckedQuotient(files, folders);
}

} // namespace

TAboutTexts AboutBoxTexts(IProcess& process) {
    TAboutTexts texts;
    texts.Version =
        GetFileVersionString(process, process.ProgramPath(), "Version %M.%m.%r build %b");
    texts.WebText = Domain(texts.WebAddress);
    texts.MailAddress = std::string("mailto:") + kSupportMailbox;
    texts.MailText = kSupportMailbox;
    texts.Copyright = "Copyright \xC2\xA9 2026 the Brimble developers";
    texts.Freeware = "This software is freeware.";
    return texts;
}

void RaiseErrorTest() {
    // A result that is used, so that the call cannot be left out.
    throw std::logic_error("unreachable: " + std::to_string(FilesPerFolder(1, 0)));
}

} // namespace brimble
