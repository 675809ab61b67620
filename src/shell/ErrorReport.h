#pragma once

// The error report window: the report of the last error that no code handled, and Send,
// which mails it; when no mail program takes it, the report goes to the clipboard and a
// "mailto:" link opens the mail program for the user to paste it.

#include "Desktop.h"
#include "options/LanguageFile.h"

#include <QWidget>
#include <memory>
#include <string>

namespace Ui {
class frmErrorReport;
}

namespace brimble {

class TfrmErrorReport final : public QWidget {
    Q_OBJECT

public:
    explicit TfrmErrorReport(IDesktop& desktop);
    ~TfrmErrorReport() override;
    TfrmErrorReport(const TfrmErrorReport&) = delete;
    TfrmErrorReport& operator=(const TfrmErrorReport&) = delete;

    // The translatable texts of Send's fallback; the defaults while none are given.
    void SetMessageTexts(const TMessageTexts* texts) { FMessageTexts = texts; }
    // Replaces any earlier report in full. The log file goes with the mail when it exists.
    void SetReport(const std::string& text, const std::string& logFileName, bool logFileExists);
    std::string ReportText() const;

    void bbtnSendClick();

    // The log file that goes with the mail.
    std::string LogFileName;

private:
    IDesktop& FDesktop;
    std::unique_ptr<Ui::frmErrorReport> FUi;
    const TMessageTexts* FMessageTexts = nullptr;
    bool FLogFileExists = false;
};

} // namespace brimble
