#include "ErrorReport.h"

#include "QtText.h"
#include "engine/ErrorReportText.h"
#include "ui_frmErrorReport.h"

#include <QFontDatabase>

namespace brimble {

TfrmErrorReport::TfrmErrorReport(IDesktop& desktop)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      FDesktop(desktop), FUi(std::make_unique<Ui::frmErrorReport>()) {
    FUi->setupUi(this);
    // A report is read in columns: the stack lines line up.
    FUi->memCallStack->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(FUi->bbtnSend, &QPushButton::clicked, this, &TfrmErrorReport::bbtnSendClick);
}

TfrmErrorReport::~TfrmErrorReport() = default;

void TfrmErrorReport::SetReport(const std::string& text, const std::string& logFileName,
                                bool logFileExists) {
    LogFileName = logFileName;
    FLogFileExists = logFileExists;
    FUi->memCallStack->setPlainText(Q(text));
}

std::string TfrmErrorReport::ReportText() const {
    return S(FUi->memCallStack->toPlainText());
}

void TfrmErrorReport::bbtnSendClick() {
    const TMessageTexts defaults;
    const TMessageTexts& texts = FMessageTexts ? *FMessageTexts : defaults;
    std::string body = ReportText();
    if (body.empty() || body.back() != '\n') body += '\n';
    if (FDesktop.ComposeMail(kSupportMailbox, kErrorReportSubject, body,
                             FLogFileExists ? LogFileName : std::string()))
        return;
    FUi->memCallStack->selectAll();
    FDesktop.CopyToClipboard(body);
    if (FDesktop.OpenLink(ErrorReportMailLink(texts.ErrorSendingMessage))) return;
    FDesktop.ShowMessage(nullptr, texts.SendErrorLog, MessageIcon::Warning);
}

} // namespace brimble
