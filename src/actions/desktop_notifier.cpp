#include "desktop_notifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace velquist {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kFolderAction = QStringLiteral("open-folder");
constexpr int kCallTimeoutMs = 5000;

QDBusMessage Call(const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(args);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

bool DesktopNotifier::Connect() {
    if (!QDBusConnection::sessionBus().isConnected()) {
        return false;
    }
    const QDBusMessage reply = Call(QStringLiteral("GetCapabilities"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    capabilities_ = reply.arguments().constFirst().toStringList();
    // Listening before the notification exists, so an early answer is not missed.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(OnNotificationClosed(uint, uint)));
    return true;
}

bool DesktopNotifier::Show(const QString& summary, const QString& body, bool offerFolder) {
    QStringList actions;
    if (offerFolder && HasActions()) {
        actions << kFolderAction << QCoreApplication::translate("Velquist", "打开文件夹");
    }
    const QVariantList args{QStringLiteral("Velquist"),
                            0u,
                            QStringLiteral("velquist"),
                            summary,
                            body,
                            actions,
                            QVariantMap(),
                            -1};
    const QDBusMessage reply = Call(QStringLiteral("Notify"), args);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    id_ = reply.arguments().constFirst().toUInt();
    return true;
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& key) {
    if (id == id_ && key == kFolderAction) {
        emit FolderRequested();
    }
}

void DesktopNotifier::OnNotificationClosed(uint id, uint /*reason*/) {
    if (id == id_) {
        emit Closed();
    }
}

} // namespace velquist
