#pragma once

// What the windows ask of the desktop: message boxes, a question, the folder chooser,
// notifications and help. The windows are given one; the tests give a recording one.

#include "engine/IMainView.h"

#include <string>

class QSystemTrayIcon;
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
    // Opens a help topic ("compress", "about").
    virtual void OpenHelp(const std::string& topic) = 0;
};

// The desktop's own dialogs and services.
class TQtDesktop final : public IDesktop {
public:
    void ShowNotice(QWidget* owner, const std::string& text) override;
    void ShowMessage(QWidget* owner, const std::string& text, MessageIcon icon) override;
    bool AskYesNo(QWidget* owner, const std::string& text) override;
    std::string ChooseFolder(QWidget* owner, const std::string& title,
                             const std::string& start) override;
    void Notify(const std::string& title, const std::string& text, QSystemTrayIcon* tray) override;
    // No help viewer yet: nothing opens.
    void OpenHelp(const std::string& /*topic*/) override {}
};

} // namespace brimble
