#pragma once

// Which help page a help request opens. A request names a topic; the topic is a page of
// the help folder (compress.htm, about.htm...). Without the folder or the page nothing
// opens and nothing is raised.

#include "engine/IMainView.h"

#include <optional>
#include <string>
#include <string_view>

namespace brimble {

class IFileSystem;

// The topics the program asks for; the options dialog's are "options_" and its page.
inline constexpr const char* kHelpCompress = "compress"; // the main window
inline constexpr const char* kHelpAbout = "about";       // tray menu, about box
inline constexpr const char* kHelpLicense = "license";   // the about box's copyright

// The topic of F1 in the active window: the options dialog's is that of its current page
// (named OptionsPage, "tsMain"); none in the error report.
std::optional<std::string> F1HelpTopic(ViewWindow active, std::string_view optionsPage);

class HtmlHelpViewer {
public:
    // HelpDir ends with the delimiter; empty when the program has no help folder.
    HtmlHelpViewer(IFileSystem& fs, std::string helpDir);

    // The page file of Topic: Topic with ".htm" appended unless it already ends in ".htm"
    // or ".html". None when the folder or the page is not there, or Topic names a path.
    std::optional<std::string> TopicPage(const std::string& topic) const;
    const std::string& HelpDir() const { return FHelpDir; }

private:
    IFileSystem& FFileSystem;
    std::string FHelpDir;
};

} // namespace brimble
