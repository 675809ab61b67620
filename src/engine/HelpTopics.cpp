#include "engine/HelpTopics.h"

#include "base/TextCase.h"
#include "engine/TfrmOptions.h"
#include "platform/Platform.h"

#include <utility>

namespace brimble {

namespace {

bool EndsWithText(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && SameText(text.substr(text.size() - tail.size()), tail);
}

// A page name, not a path: the request stays inside the help folder.
bool IsPageName(std::string_view topic) {
    return !topic.empty() && topic.find_first_of("/\\:") == std::string_view::npos &&
           topic.find("..") == std::string_view::npos;
}

} // namespace

std::optional<std::string> F1HelpTopic(ViewWindow active, std::string_view optionsPage) {
    switch (active) {
    case ViewWindow::Main:
        return kHelpCompress;
    case ViewWindow::Options:
        return TfrmOptions::HelpTopic(optionsPage);
    case ViewWindow::About:
        return kHelpAbout;
    case ViewWindow::ErrorReport:
        return std::nullopt;
    case ViewWindow::WaitingFiles:
        return TfrmOptions::HelpTopic("tsCompress"); // the lists are the Compress page's
    }
    return std::nullopt;
}

HtmlHelpViewer::HtmlHelpViewer(IFileSystem& fs, std::string helpDir)
    : FFileSystem(fs), FHelpDir(std::move(helpDir)) {}

std::optional<std::string> HtmlHelpViewer::TopicPage(const std::string& topic) const {
    if (FHelpDir.empty() || !IsPageName(topic) || !FFileSystem.DirectoryExists(FHelpDir))
        return std::nullopt;
    std::string page = FHelpDir + topic;
    if (!EndsWithText(topic, ".htm") && !EndsWithText(topic, ".html")) page += ".htm";
    if (!FFileSystem.FileExists(page)) return std::nullopt;
    return page;
}

} // namespace brimble
