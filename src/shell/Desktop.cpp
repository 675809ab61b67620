#include "Desktop.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QUrl>

namespace brimble {

namespace {

QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// How long Send waits for the mail program to take the message. A mail program that
// starts for it may run on: a message it has not refused by then counts as taken.
constexpr int kMailStartMilliseconds = 5000;

} // namespace

TQtDesktop::TQtDesktop(std::optional<HtmlHelpViewer> help) : FHelp(std::move(help)) {}

TQtDesktop::~TQtDesktop() = default;

void TQtDesktop::ShowNotice(QWidget* owner, const std::string& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Brimble"), Q(text),
                                QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void TQtDesktop::ShowMessage(QWidget* owner, const std::string& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), QStringLiteral("Brimble"), Q(text), QMessageBox::Ok, owner);
    box.exec();
}

bool TQtDesktop::AskYesNo(QWidget* owner, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Brimble"), Q(text),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No); // the harmless answer
    return box.exec() == QMessageBox::Yes;
}

std::string TQtDesktop::ChooseFolder(QWidget* owner, const std::string& title,
                                     const std::string& start) {
    return QFileDialog::getExistingDirectory(owner, Q(title), Q(start)).toUtf8().toStdString();
}

void TQtDesktop::Notify(const std::string& title, const std::string& text, QSystemTrayIcon* tray) {
    // The desktop's notification service first: it shows also where the tray host draws
    // no balloons.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service)) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, QStringLiteral("/org/freedesktop/Notifications"), service,
            QStringLiteral("Notify"));
        call << QStringLiteral("Brimble") << 0u << QStringLiteral("brimble") << Q(title) << Q(text)
             << QStringList() << QVariantMap() << -1;
        bus.call(call, QDBus::NoBlock);
        return;
    }
    if (tray) tray->showMessage(Q(title), Q(text), tray->icon());
}

bool TQtDesktop::TrayHostActivatesOnClick() {
    // Qt draws the icon through a StatusNotifier host whenever the session has one.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().front()).variant().toBool();
}

void TQtDesktop::OpenHelp(const std::string& topic) {
    const std::optional<std::string> page = FHelp ? FHelp->TopicPage(topic) : std::nullopt;
    if (!page) return;
    const QUrl url = QUrl::fromLocalFile(Q(*page));
    // Without a desktop opener a browser is not to be found: the page shows in our viewer.
    if (!QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty() &&
        QDesktopServices::openUrl(url))
        return;
    if (!FHelpViewer) {
        FHelpViewer = std::make_unique<QTextBrowser>();
        FHelpViewer->setObjectName(QStringLiteral("HelpViewer"));
        FHelpViewer->setOpenExternalLinks(true);
        FHelpViewer->resize(640, 520);
    }
    FHelpViewer->setSource(url);
    FHelpViewer->setWindowTitle(FHelpViewer->documentTitle());
    FHelpViewer->show();
    FHelpViewer->raise();
    FHelpViewer->activateWindow();
}

bool TQtDesktop::OpenLink(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(Q(url)));
}

bool TQtDesktop::ComposeMail(const std::string& to, const std::string& subject,
                             const std::string& body, const std::string& attachment) {
    QStringList arguments = {QStringLiteral("--utf8"), QStringLiteral("--subject"), Q(subject),
                             QStringLiteral("--body"), Q(body)};
    if (!attachment.empty()) arguments << QStringLiteral("--attach") << Q(attachment);
    arguments << Q(to);
    // Parented to the application: a mail program that runs on keeps its process object.
    auto* mail = new QProcess(qApp);
    QObject::connect(mail, &QProcess::finished, mail, &QObject::deleteLater);
    mail->start(QStringLiteral("xdg-email"), arguments);
    if (!mail->waitForStarted()) {
        mail->deleteLater();
        return false;
    }
    if (!mail->waitForFinished(kMailStartMilliseconds)) return true;
    return mail->exitStatus() == QProcess::NormalExit && mail->exitCode() == 0;
}

void TQtDesktop::CopyToClipboard(const std::string& text) {
    QGuiApplication::clipboard()->setText(Q(text));
}

} // namespace brimble
