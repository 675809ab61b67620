#pragma once

// What the about box shows and does without drawing it: its texts and links, and the error
// test behind Ctrl + right-click on the product name.

#include <string>

namespace brimble {

class IProcess;

inline constexpr const char* kWebSite = "https://brimble.example.org/";

struct TAboutTexts {
    std::string ProductName = "Brimble";
    std::string Version; // "Version 1.0.3 build 378"; empty when the file carries none
    std::string WebAddress = kWebSite;
    std::string WebText;     // the site's domain
    std::string MailAddress; // a "mailto:" link to the support mailbox
    std::string MailText;    // the mailbox's address
    std::string Copyright;   // the notice
    std::string Freeware;    // the line that says the program is free
};

// The texts for this program's file.
TAboutTexts AboutBoxTexts(IProcess& process);

// Whether a press on the product name is the error test: the right button with Ctrl held.
constexpr bool IsErrorTestPress(bool rightButton, bool ctrlHeld) {
    return rightButton && ctrlHeld;
}

// The error test: a checked integer division of 1 by 0 a few calls down, which throws
// std::domain_error "Division by zero". It never returns.
[[noreturn]] void RaiseErrorTest();

} // namespace brimble
