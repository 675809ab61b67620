#include "Desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileDialog>
#include <QMessageBox>
#include <QSystemTrayIcon>

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

} // namespace

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

} // namespace brimble
