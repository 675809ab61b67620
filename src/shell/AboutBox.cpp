#include "AboutBox.h"

#include "MainWindow.h"
#include "QtText.h"
#include "QtUiLoop.h"
#include "engine/HelpTopics.h"
#include "ui_frmAboutBox.h"

#include <QMouseEvent>

namespace brimble {

namespace {

QString Link(const std::string& address, const std::string& text) {
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(Q(address).toHtmlEscaped(), Q(text).toHtmlEscaped());
}

} // namespace

TfrmAboutBox::TfrmAboutBox(QtUiLoop& loop, IDesktop& desktop)
    : QWidget(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FLoop(loop), FDesktop(desktop), FUi(std::make_unique<Ui::frmAboutBox>()) {
    FUi->setupUi(this);
    setFixedSize(size());
    FUi->imgProgramIcon->setPixmap(ProgramPicture("brimble").pixmap(64, 64));
    for (QLabel* link : {FUi->htlblWeb, FUi->htlblMail})
        connect(link, &QLabel::linkActivated, this,
                [this](const QString& url) { FDesktop.OpenLink(S(url)); });
    connect(FUi->bbtnOk, &QPushButton::clicked, this, &TfrmAboutBox::bbtnOkClick);
    for (QWidget* watched :
         {static_cast<QWidget*>(FUi->imgProgramIcon), static_cast<QWidget*>(FUi->htlblCopyright),
          static_cast<QWidget*>(FUi->lblProductName)})
        watched->installEventFilter(this);
    FormCreate(TAboutTexts());
}

TfrmAboutBox::~TfrmAboutBox() = default;

void TfrmAboutBox::FormCreate(const TAboutTexts& texts) {
    FUi->lblProductName->setText(Q(texts.ProductName));
    FUi->lblVersion->setText(Q(texts.Version));
    FUi->htlblWeb->setText(Link(texts.WebAddress, texts.WebText));
    FUi->htlblMail->setText(Link(texts.MailAddress, texts.MailText));
    FUi->htlblCopyright->setText(Q(texts.Copyright).toHtmlEscaped() + QStringLiteral("<br>") +
                                 Q(texts.Freeware).toHtmlEscaped());
}

void TfrmAboutBox::imgProgramIconDblClick() {
    FDesktop.OpenHelp(kHelpAbout);
}

void TfrmAboutBox::htlblCopyrightDblClick() {
    FDesktop.OpenHelp(kHelpLicense);
}

void TfrmAboutBox::lblProductNameMouseDown(Qt::MouseButton button,
                                           Qt::KeyboardModifiers modifiers) {
    if (IsErrorTestPress(button == Qt::RightButton, modifiers.testFlag(Qt::ControlModifier)))
        RaiseErrorTest();
}

void TfrmAboutBox::bbtnOkClick() {
    hide();
}

bool TfrmAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == FUi->imgProgramIcon) imgProgramIconDblClick();
        if (watched == FUi->htlblCopyright) htlblCopyrightDblClick();
    }
    if (event->type() == QEvent::MouseButtonPress && watched == FUi->lblProductName) {
        const auto* press = static_cast<QMouseEvent*>(event);
        // Qt's loop must not be left by an exception: the error goes to the report.
        RunGuarded(FLoop, [&] { lblProductNameMouseDown(press->button(), press->modifiers()); });
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace brimble
