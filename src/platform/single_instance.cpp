#include "single_instance.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>
#include <unistd.h>

namespace velquist {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kConnectAttempts = 3;
const QByteArray kRaiseRequest = "raise\n";
const QByteArray kRaiseAnswer = "ok\n";

void RaiseOne(QWidget* widget) {
    if (widget->isMinimized()) {
        widget->setWindowState(widget->windowState() & ~Qt::WindowMinimized);
    }
    widget->show();
    widget->raise();
    widget->activateWindow();
}

} // namespace

SingleInstance::SingleInstance(QString name, QString folder, QObject* parent)
    : QObject(parent), name_(std::move(name)), folder_(std::move(folder)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultName() {
    return QStringLiteral("velquist-%1").arg(static_cast<qulonglong>(::getuid()));
}

QString SingleInstance::DefaultFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime;
    }
    return QDir::tempPath();
}

QString SingleInstance::ServerPath() const {
    return QDir(folder_).filePath(name_ + ".sock");
}

SingleInstance::Role SingleInstance::Acquire() {
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(QDir(folder_).filePath(name_ + ".lock"));
    // Staleness by age would let a long-running instance lose its lock; a lock whose
    // process is gone is still recognised as stale and taken over.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        return Listen() ? Role::kFirst : Role::kFailed;
    }
    if (lock_->error() != QLockFile::LockFailedError) {
        return Role::kFailed;
    }
    return AskRunningInstance();
}

bool SingleInstance::Listen() {
    // We hold the lock, so a socket file left here belongs to a killed instance.
    QLocalServer::removeServer(ServerPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    return server_.listen(ServerPath());
}

SingleInstance::Role SingleInstance::AskRunningInstance() {
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(ServerPath());
        if (!socket.waitForConnected(kConnectTimeoutMs)) {
            continue;
        }
        socket.write(kRaiseRequest);
        if (!socket.waitForBytesWritten(kConnectTimeoutMs)) {
            continue;
        }
        socket.waitForReadyRead(kConnectTimeoutMs);
        return Role::kHandedOver;
    }
    return Role::kOtherStarting;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto answer = [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            if (socket->readLine(64) == kRaiseRequest) {
                emit RaiseRequested();
                socket->write(kRaiseAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, answer);
        // The request may have arrived before the connection above existed.
        answer();
    }
}

void RaiseWindowAndDialog(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    RaiseOne(window);
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != window) {
        RaiseOne(modal);
    }
}

} // namespace velquist
