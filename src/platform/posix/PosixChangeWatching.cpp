#include "platform/posix/PosixChangeWatching.h"

#include "base/VisibleText.h"
#include "platform/posix/ErrorText.h"
#include "platform/posix/FanotifyReader.h"
#include "platform/posix/InotifyReader.h"

namespace brimble::posix {

std::unique_ptr<IChangeReader> PosixChangeWatching::OpenChangeReader(const std::string& root,
                                                                     uint32_t filter) {
    const std::string shown = "\"" + VisibleText(root) + "\"";
    if (!FSwitches.ForceInotify) {
        std::string whyNot;
        if (auto reader = OpenFanotifyReader(root, filter, &whyNot)) return reader;
        // Said each time: inotify costs a crawl and a watch per folder, and may not cover
        // everything.
        FDiagnostics.Log("Change watching of " + shown + ": no fanotify, as " + whyNot +
                             "; inotify watches each folder instead",
                         llNotice);
    }
    int error = 0;
    auto reader = OpenInotifyReader(root, filter, FDiagnostics, &error);
    if (!reader)
        FDiagnostics.Log("Change watching of " + shown +
                             ": inotify cannot watch the folder: " + ErrorText(error),
                         llNotice);
    return reader;
}

} // namespace brimble::posix
