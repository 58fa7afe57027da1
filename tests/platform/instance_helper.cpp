// A program that takes part in the single-instance rendezvous, for tests that need
// two real processes. Arguments: name folder [minimized|dialog|earlier [late]|files path...].
#include "platform/single_instance.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringList>
#include <QThread>
#include <QWidget>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A running instance of an earlier build: it knows the bare "raise" line only
// and hangs up on anything else.
// late: holds the lock for a while before it listens, as a slow start does.
int ServeLikeAnEarlierBuild(const QString& name, const QString& folder, bool late) {
    QLockFile lock(QDir(folder).filePath(name + ".lock"));
    const QString path = QDir(folder).filePath(name + ".sock");
    QLocalServer::removeServer(path);
    if (!lock.tryLock(0)) {
        return 3;
    }
    if (late) {
        std::printf("locked\n");
        std::fflush(stdout);
        QThread::msleep(1500);
    }
    QLocalServer server;
    if (!server.listen(path)) {
        return 3;
    }
    QObject::connect(&server, &QLocalServer::newConnection, [&server] {
        QLocalSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, [socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QByteArray line = socket->readLine(64);
            std::printf("%s\n", line == "raise\n" ? "raised" : "hung up");
            std::fflush(stdout);
            if (line == "raise\n") {
                socket->write("ok\n");
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    if (argc > 3 && QByteArray(argv[3]) == "earlier") {
        return ServeLikeAnEarlierBuild(QString::fromLocal8Bit(argv[1]),
                                       QString::fromLocal8Bit(argv[2]),
                                       argc > 4 && QByteArray(argv[4]) == "late");
    }
    velquist::SingleInstance instance(QString::fromLocal8Bit(argv[1]),
                                      QString::fromLocal8Bit(argv[2]));
    std::vector<std::string> files;
    if (argc > 3 && QByteArray(argv[3]) == "files") {
        for (int i = 4; i < argc; ++i) {
            files.emplace_back(argv[i]);
        }
    }
    const auto role = instance.Acquire(files);
    if (role != velquist::SingleInstance::Role::kFirst) {
        std::printf("role=%d\n", static_cast<int>(role));
        return 0;
    }
    QWidget window;
    window.resize(200, 100);
    if (argc > 3 && QByteArray(argv[3]) == "minimized") {
        window.showMinimized();
    } else {
        window.show();
    }
    // A modal dialog left minimised over the window must come back with it.
    QDialog dialog(&window);
    if (argc > 3 && QByteArray(argv[3]) == "dialog") {
        dialog.setModal(true);
        dialog.showMinimized();
    }
    QObject::connect(&instance, &velquist::SingleInstance::RaiseRequested, [&window, &dialog] {
        velquist::RaiseWindowAndDialog(&window);
        std::printf("raised minimized=%d visible=%d dialog-minimized=%d\n",
                    window.isMinimized() ? 1 : 0, window.isVisible() ? 1 : 0,
                    dialog.isMinimized() ? 1 : 0);
        std::fflush(stdout);
    });
    QObject::connect(&instance, &velquist::SingleInstance::FilesReceived,
                     [](const std::vector<std::string>& received) {
                         std::string joined;
                         for (const std::string& file : received) {
                             joined += (joined.empty() ? "" : "|") + file;
                         }
                         std::printf("files %s\n", joined.c_str());
                         std::fflush(stdout);
                     });
    std::printf("ready minimized=%d dialog-minimized=%d\n", window.isMinimized() ? 1 : 0,
                dialog.isMinimized() ? 1 : 0);
    std::fflush(stdout);
    return app.exec();
}
