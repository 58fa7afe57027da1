#include "single_instance.h"

#include "path_text.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <memory>
#include <unistd.h>

namespace velquist {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kConnectAttempts = 3;
// Files must not be lost to an instance that has the lock but is still
// starting (two files opened in quick succession): wait for it a while.
constexpr int kConnectAttemptsWithFiles = 20;
constexpr unsigned long kRetryPauseMs = 250;
const QByteArray kRaiseRequest = "raise\n";
const QByteArray kRaiseAnswer = "ok\n";
const QByteArray kOpenPrefix = "open ";
// A percent-encoded path of PATH_MAX bytes fits; anything longer is not ours.
constexpr qint64 kMaxLineBytes = 16384;
// Bounds what one connection can make the window hold.
constexpr std::size_t kMaxFiles = 100000;

QByteArray Request(const std::vector<std::string>& files) {
    QByteArray request;
    for (const std::string& path : files) {
        // The name's own bytes: a name that is not UTF-8 has no other faithful form.
        request +=
            kOpenPrefix +
            QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding() + '\n';
    }
    return request + kRaiseRequest;
}

// Empty when the line does not carry an absolute path.
std::string PathOf(const QByteArray& line) {
    const QByteArray encoded = line.mid(kOpenPrefix.size()).chopped(1);
    const QByteArray bytes = QByteArray::fromPercentEncoding(encoded);
    if (bytes.contains('\0') || !bytes.startsWith('/')) {
        return {};
    }
    return CleanPath(bytes.toStdString());
}

bool WriteAll(QLocalSocket& socket, const QByteArray& data) {
    socket.write(data);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kConnectTimeoutMs)) {
            return false;
        }
    }
    return true;
}

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

SingleInstance::Role SingleInstance::Acquire(const std::vector<std::string>& files) {
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
    return AskRunningInstance(files);
}

bool SingleInstance::Listen() {
    // We hold the lock, so a socket file left here belongs to a killed instance.
    QLocalServer::removeServer(ServerPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    return server_.listen(ServerPath());
}

SingleInstance::Role SingleInstance::AskRunningInstance(const std::vector<std::string>& files) {
    const QByteArray request = Request(files);
    const int attempts = files.empty() ? kConnectAttempts : kConnectAttemptsWithFiles;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        QByteArray answer;
        if (!Exchange(request, &answer)) {
            if (!files.empty()) {
                QThread::msleep(kRetryPauseMs);
            }
            continue;
        }
        // An instance of an earlier build hangs up on the file lines without an
        // answer; it still understands the bare request to come to the front.
        if (answer != kRaiseAnswer && !files.empty()) {
            Exchange(kRaiseRequest, &answer);
        }
        return Role::kHandedOver;
    }
    return Role::kOtherStarting;
}

bool SingleInstance::Exchange(const QByteArray& request, QByteArray* answer) const {
    QLocalSocket socket;
    socket.connectToServer(ServerPath());
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    // The running instance acts only on the closing "raise" line, so a
    // connection broken half-way adds nothing and the retry adds it once.
    if (!WriteAll(socket, request)) {
        return false;
    }
    socket.waitForReadyRead(kConnectTimeoutMs);
    *answer = socket.readAll();
    return true;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        ServeConnection(socket);
    }
}

void SingleInstance::ServeConnection(QLocalSocket* socket) {
    auto files = std::make_shared<std::vector<std::string>>();
    auto answer = [this, socket, files] {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine(kMaxLineBytes);
            if (line.startsWith(kOpenPrefix) && line.endsWith('\n')) {
                std::string path = PathOf(line);
                if (!path.empty() && files->size() < kMaxFiles) {
                    files->push_back(std::move(path));
                }
                continue;
            }
            if (line == kRaiseRequest) {
                // Answered first: the later start need not wait while a large
                // folder is scanned.
                socket->write(kRaiseAnswer);
                socket->flush();
                if (!files->empty()) {
                    emit FilesReceived(*files);
                }
                emit RaiseRequested();
            }
            socket->disconnectFromServer();
            return;
        }
        // A line that never ends would otherwise grow the buffer without bound.
        if (socket->bytesAvailable() > kMaxLineBytes) {
            socket->disconnectFromServer();
        }
    };
    connect(socket, &QLocalSocket::readyRead, this, answer);
    // The request may have arrived before the connection above existed.
    answer();
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
