#pragma once

// The tray program on the sim platform, with the desktop's dialogs replaced by recorders:
// drive C: (the program) and drive D: with three files, the window as the user first sees
// it. Shared by the window tests and the screenshot program.

#include "TrayProgram.h"
#include "platform/sim/SimPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace brimble::test {

struct TrayFixture {
    TrayFixture(bool trayAvailable = true) {
        sim.AddVolume("C:\\", DriveType::Fixed, "NTFS", 4096, "System");
        sim.AddVolume("D:\\", DriveType::Fixed, "NTFS", 4096, "Data");
        sim.SetLocalAppDataDir("C:\\Users\\u\\AppData\\Local");
        sim.SetEnvironmentVariable("windir", std::string("C:\\Windows"));
        sim.AddFile("C:\\Program Files\\Brimble\\Brimble.exe", 2'000'000);
        sim.AddFile("D:\\Docs\\a.txt", 100'000);
        sim.AddFile("D:\\Docs\\b.txt", 300'000);
        sim.AddFile("D:\\Docs\\c.zip", 50'000);
        folders = ComputeProgramFolders(sim);
        program = std::make_unique<TTrayProgram>(sim, folders, trayAvailable);
        TBrimbleMainWindow& w = program->Window();
        w.MessageSink = [this](const std::string& text, MessageIcon) { messages.push_back(text); };
        w.QuestionSink = [this](const std::string& text) {
            questions.push_back(text);
            return answerYes;
        };
        w.NotificationSink = [this](const std::string& title, const std::string& text) {
            notifications.emplace_back(title, text);
        };
        w.OnHelp = [this](const std::string& topic) { helpTopics.push_back(topic); };
        w.FolderChooser = [this](const std::string&) { return chosenFolder; };
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

    sim::SimPlatform sim;
    TProgramFolders folders;
    std::unique_ptr<TTrayProgram> program;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::pair<std::string, std::string>> notifications;
    std::vector<std::string> helpTopics;
    std::string chosenFolder;
    bool answerYes = false;
};

} // namespace brimble::test
