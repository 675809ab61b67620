#pragma once

// The tray program on the sim platform, with the desktop's dialogs replaced by recorders:
// drive C: (the program) and drive D: with three files, the window as the user first sees
// it. Shared by the window tests and the screenshot program.

#include "TrayProgram.h"
#include "options/LanguageFile.h"
#include "platform/sim/SimPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace brimble::test {

// The desktop as the tests see it: every box, question, notification and help topic
// recorded, the folder chooser answering with ChosenFolder.
struct RecordingDesktop final : IDesktop {
    void ShowNotice(QWidget*, const std::string& text) override { messages.push_back(text); }
    void ShowMessage(QWidget*, const std::string& text, MessageIcon) override {
        messages.push_back(text);
    }
    bool AskYesNo(QWidget*, const std::string& text) override {
        questions.push_back(text);
        return answerYes;
    }
    std::string ChooseFolder(QWidget*, const std::string&, const std::string&) override {
        return chosenFolder;
    }
    void Notify(const std::string& title, const std::string& text, QSystemTrayIcon*) override {
        notifications.emplace_back(title, text);
    }
    void OpenHelp(const std::string& topic) override { helpTopics.push_back(topic); }
    bool OpenLink(const std::string& url) override {
        links.push_back(url);
        return linksOpen;
    }
    bool ComposeMail(const std::string& to, const std::string& subject, const std::string& body,
                     const std::string& attachment) override {
        mails.push_back({to, subject, body, attachment});
        return mailSent;
    }
    void CopyToClipboard(const std::string& text) override { clipboard = text; }
    bool TrayHostActivatesOnClick() override { return clickActivates; }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::pair<std::string, std::string>> notifications;
    std::vector<std::string> helpTopics;
    std::string chosenFolder;
    bool answerYes = false;
    struct Mail {
        std::string to, subject, body, attachment;
    };
    std::vector<Mail> mails;
    bool mailSent = true; // what the mail program answers
    std::vector<std::string> links;
    bool linksOpen = true;
    std::string clipboard;
    bool clickActivates = false; // a StatusNotifier host
};

struct TrayFixture {
    // ClickActivates: the tray host is a StatusNotifier host.
    explicit TrayFixture(bool trayAvailable = true, bool clickActivates = false) {
        desktop.clickActivates = clickActivates;
        sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System");
        sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        sim.SetEnvironmentVariable("windir", std::string("C:\\Windows"));
        sim.AddFile("C:\\Program Files\\Brimble\\Brimble.exe", 2'000'000);
        sim.AddFile("D:\\Docs\\a.txt", 100'000);
        sim.AddFile("D:\\Docs\\b.txt", 300'000);
        sim.AddFile("D:\\Docs\\c.zip", 50'000);
        folders = ComputeProgramFolders(sim);
        program = std::make_unique<TTrayProgram>(sim, folders, trayAvailable, &desktop);
    }

    TBrimbleMainWindow& Window() { return program->Window(); }
    TfrmBrimblemain& Engine() { return program->Application().Main(); }
    template <typename T = QWidget> T* Find(const char* name) {
        return Window().findChild<T*>(QString::fromLatin1(name));
    }
    std::string Text(const char* label) { return Find<QLabel>(label)->text().toStdString(); }
    void Click(const char* button) { Find<QAbstractButton>(button)->click(); }
    // Ticks only the drive items whose text begins with one of the roots given.
    void TickOnly(const std::vector<std::string>& roots) {
        auto* list = Find<QListWidget>("chklstbDrives");
        for (int i = 0; i < list->count(); ++i) {
            bool tick = false;
            for (const std::string& root : roots)
                tick = tick || list->item(i)->text().startsWith(QString::fromStdString(root));
            list->item(i)->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
        }
    }

    // Every window and the message texts translated by the language file at Path (a file of
    // the source tree), as the program's start does; false when it cannot be read or lacks a
    // window.
    bool ApplyLanguageFile(const char* path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream xml;
        xml << in.rdbuf();
        const std::optional<TLanguageFile> file = ParseLanguageFile(xml.str());
        if (!file) return false;
        ApplyLanguageVariables(*file, Engine().MessageTexts());
        for (std::size_t i = 0; i < kLanguageWindows.size(); ++i) {
            const TLanguageNode* element = file->Window(kLanguageWindows[i]);
            if (!element) return false; // a file of the source tree has every window
            Window().TranslateWindow(static_cast<ViewWindow>(i), *element);
        }
        return true;
    }

    sim::SimPlatform sim;
    TProgramFolders folders;
    RecordingDesktop desktop;
    std::unique_ptr<TTrayProgram> program;
    // What the desktop recorded, by the names the tests use.
    std::vector<std::string>& messages = desktop.messages;
    std::vector<std::string>& questions = desktop.questions;
    std::vector<std::pair<std::string, std::string>>& notifications = desktop.notifications;
    std::vector<std::string>& helpTopics = desktop.helpTopics;
    std::string& chosenFolder = desktop.chosenFolder;
    bool& answerYes = desktop.answerYes;
};

} // namespace brimble::test
