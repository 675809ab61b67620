#pragma once

// What the windows ask of the desktop: message boxes, a question, the folder chooser,
// notifications and help. The windows are given one; the tests give a recording one.

#include "engine/HelpTopics.h"
#include "engine/IMainView.h"

#include <memory>
#include <optional>
#include <string>

class QSystemTrayIcon;
class QTextBrowser;
class QWidget;

namespace brimble {

class IDesktop {
public:
    virtual ~IDesktop() = default;
    // A box that does not hold the caller (nor the tray menu or a running scan).
    virtual void ShowNotice(QWidget* owner, const std::string& text) = 0;
    // A box the caller waits for.
    virtual void ShowMessage(QWidget* owner, const std::string& text, MessageIcon icon) = 0;
    // True for Yes; No is the default answer.
    virtual bool AskYesNo(QWidget* owner, const std::string& text) = 0;
    // The folder chosen, starting at Start; empty when cancelled.
    virtual std::string ChooseFolder(QWidget* owner, const std::string& title,
                                     const std::string& start) = 0;
    // Through the desktop's notification service, else as a balloon of Tray (when given).
    virtual void Notify(const std::string& title, const std::string& text,
                        QSystemTrayIcon* tray) = 0;
    // Opens a help topic ("compress", "about"); nothing happens when it has no page.
    virtual void OpenHelp(const std::string& topic) = 0;
    // Opens a web or "mailto:" link in the desktop's program for it; false when none could.
    virtual bool OpenLink(const std::string& url) = 0;
    // A new message in the user's mail program, ready to send; false when no mail program
    // took it. Attachment: a file, or empty for none.
    virtual bool ComposeMail(const std::string& to, const std::string& subject,
                             const std::string& body, const std::string& attachment) = 0;
    virtual void CopyToClipboard(const std::string& text) = 0;
    // The tray host reports a click on the icon as an activation and never a double-click
    // (a StatusNotifier host: KDE, GNOME with AppIndicator).
    virtual bool TrayHostActivatesOnClick() = 0;
};

// The desktop's own dialogs and services.
class TQtDesktop final : public IDesktop {
public:
    // Help: where the help pages are; without it no help opens.
    explicit TQtDesktop(std::optional<HtmlHelpViewer> help = std::nullopt);
    ~TQtDesktop() override;
    TQtDesktop(const TQtDesktop&) = delete;
    TQtDesktop& operator=(const TQtDesktop&) = delete;

    void ShowNotice(QWidget* owner, const std::string& text) override;
    void ShowMessage(QWidget* owner, const std::string& text, MessageIcon icon) override;
    bool AskYesNo(QWidget* owner, const std::string& text) override;
    std::string ChooseFolder(QWidget* owner, const std::string& title,
                             const std::string& start) override;
    void Notify(const std::string& title, const std::string& text, QSystemTrayIcon* tray) override;
    // In the desktop's browser, else in a small viewer of the program's own.
    void OpenHelp(const std::string& topic) override;
    bool OpenLink(const std::string& url) override;
    // Through xdg-email.
    bool ComposeMail(const std::string& to, const std::string& subject, const std::string& body,
                     const std::string& attachment) override;
    void CopyToClipboard(const std::string& text) override;
    bool TrayHostActivatesOnClick() override;

private:
    std::optional<HtmlHelpViewer> FHelp;
    std::unique_ptr<QTextBrowser> FHelpViewer; // made when first needed
};

} // namespace brimble
