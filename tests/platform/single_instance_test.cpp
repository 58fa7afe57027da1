#include "platform/single_instance.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace velquist {
namespace {

constexpr int kWaitMs = 10000;

class SingleInstanceProcesses : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    void TearDown() override {
        for (auto& process : started_) {
            process->kill();
            process->waitForFinished(kWaitMs);
        }
    }

    QProcess* Start(const QStringList& extra = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", folder_.path());
        env.insert("XDG_RUNTIME_DIR", folder_.path());
        process->setProcessEnvironment(env);
        process->start(VELQUIST_INSTANCE_HELPER, QStringList{"vq-test", folder_.path()} + extra);
        started_.push_back(std::move(process));
        return started_.back().get();
    }

    // Reads lines until one starts with prefix; returns it, or empty on time-out.
    static QByteArray WaitForLine(QProcess* process, const QByteArray& prefix) {
        while (true) {
            while (process->canReadLine()) {
                const QByteArray line = process->readLine().trimmed();
                if (line.startsWith(prefix)) {
                    return line;
                }
            }
            if (!process->waitForReadyRead(kWaitMs)) {
                return {};
            }
        }
    }

    QString SocketPath() const { return folder_.filePath("vq-test.sock"); }

    QTemporaryDir folder_;
    std::vector<std::unique_ptr<QProcess>> started_;
};

TEST_F(SingleInstanceProcesses, SecondStartRaisesMinimisedFirstAndExitsZero) {
    QProcess* first = Start({"minimized"});
    ASSERT_EQ(WaitForLine(first, "ready"), "ready minimized=1 dialog-minimized=0");

    QProcess* second = Start();
    ASSERT_TRUE(second->waitForFinished(kWaitMs));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(second->readAllStandardOutput().trimmed(), "role=1"); // handed over

    EXPECT_EQ(WaitForLine(first, "raised"), "raised minimized=0 visible=1 dialog-minimized=0");
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(SingleInstanceProcesses, OpenModalDialogIsRestoredToo) {
    QProcess* first = Start({"dialog"});
    ASSERT_EQ(WaitForLine(first, "ready"), "ready minimized=0 dialog-minimized=1");
    QProcess* second = Start();
    ASSERT_TRUE(second->waitForFinished(kWaitMs));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(WaitForLine(first, "raised"), "raised minimized=0 visible=1 dialog-minimized=0");
}

TEST_F(SingleInstanceProcesses, EveryLaterStartIsHandedOver) {
    QProcess* first = Start();
    ASSERT_FALSE(WaitForLine(first, "ready").isEmpty());
    for (int i = 0; i < 2; ++i) {
        QProcess* later = Start();
        ASSERT_TRUE(later->waitForFinished(kWaitMs));
        EXPECT_EQ(later->exitCode(), 0);
        EXPECT_EQ(later->readAllStandardOutput().trimmed(), "role=1");
        EXPECT_FALSE(WaitForLine(first, "raised").isEmpty());
    }
}

TEST_F(SingleInstanceProcesses, FilesOfTheLaterStartReachTheFirstBeforeItRaises) {
    QProcess* first = Start();
    ASSERT_FALSE(WaitForLine(first, "ready").isEmpty());
    // Spaces, a line break and non-ASCII letters must survive the line protocol.
    const QString odd = folder_.filePath(QStringLiteral("a b\n照片%.heic"));
    QProcess* later = Start({"files", folder_.filePath("one.heic"), odd});
    ASSERT_TRUE(later->waitForFinished(kWaitMs));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_EQ(later->readAllStandardOutput().trimmed(), "role=1");

    QByteArray received = WaitForLine(first, "files");
    // The odd name's line break splits the printed line.
    if (!first->canReadLine()) {
        first->waitForReadyRead(kWaitMs);
    }
    received += "\n" + first->readLine().trimmed();
    EXPECT_EQ(QString::fromLocal8Bit(received),
              QStringLiteral("files ") + folder_.filePath("one.heic") + "|" + odd);
    EXPECT_FALSE(WaitForLine(first, "raised").isEmpty());
}

TEST_F(SingleInstanceProcesses, RelativeOrEndlessLinesAreNotTaken) {
    QProcess* first = Start();
    ASSERT_FALSE(WaitForLine(first, "ready").isEmpty());

    QLocalSocket relative;
    relative.connectToServer(SocketPath());
    ASSERT_TRUE(relative.waitForConnected(kWaitMs));
    relative.write("open relative.heic\nopen %2Fabs.heic\nraise\n");
    ASSERT_TRUE(relative.waitForReadyRead(kWaitMs));
    EXPECT_EQ(relative.readAll(), "ok\n");
    EXPECT_EQ(WaitForLine(first, "files"), "files /abs.heic");

    QLocalSocket endless;
    endless.connectToServer(SocketPath());
    ASSERT_TRUE(endless.waitForConnected(kWaitMs));
    endless.write(QByteArray(64 * 1024, 'x'));
    endless.waitForBytesWritten(kWaitMs);
    // The server hangs up rather than buffering without end.
    EXPECT_TRUE(endless.state() == QLocalSocket::UnconnectedState ||
                endless.waitForDisconnected(kWaitMs));
}

TEST_F(SingleInstanceProcesses, AnEarlierBuildRunningIsStillRaisedByAStartWithFiles) {
    QProcess* earlier = Start({"earlier"});
    ASSERT_FALSE(WaitForLine(earlier, "ready").isEmpty());
    QProcess* later = Start({"files", folder_.filePath("one.heic")});
    ASSERT_TRUE(later->waitForFinished(kWaitMs));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_EQ(later->readAllStandardOutput().trimmed(), "role=1");
    EXPECT_EQ(WaitForLine(earlier, "hung up"), "hung up");
    EXPECT_EQ(WaitForLine(earlier, "raised"), "raised");
}

TEST_F(SingleInstanceProcesses, AStartWithFilesWaitsForAnInstanceStillStarting) {
    QProcess* starting = Start({"earlier", "late"});
    ASSERT_FALSE(WaitForLine(starting, "locked").isEmpty());
    QProcess* later = Start({"files", folder_.filePath("one.heic")});
    ASSERT_TRUE(later->waitForFinished(kWaitMs));
    EXPECT_EQ(later->readAllStandardOutput().trimmed(), "role=1");
    EXPECT_EQ(WaitForLine(starting, "raised"), "raised");
}

TEST_F(SingleInstanceProcesses, KilledFirstInstanceLeavesNothingThatBlocksTheNext) {
    QProcess* first = Start();
    ASSERT_FALSE(WaitForLine(first, "ready").isEmpty());
    first->kill();
    ASSERT_TRUE(first->waitForFinished(kWaitMs));
    // A killed server cannot remove its socket file; the lock file stays too.
    ASSERT_TRUE(QFileInfo::exists(SocketPath()));

    QProcess* next = Start();
    EXPECT_FALSE(WaitForLine(next, "ready").isEmpty());

    QProcess* later = Start();
    ASSERT_TRUE(later->waitForFinished(kWaitMs));
    EXPECT_EQ(later->readAllStandardOutput().trimmed(), "role=1");
    EXPECT_FALSE(WaitForLine(next, "raised").isEmpty());
}

} // namespace
} // namespace velquist

namespace velquist {
namespace {

// File names are bytes: a name that is not UTF-8 reaches the running instance exactly.
TEST_F(SingleInstanceProcesses, NamesThatAreNotUtf8ArriveAsTheirBytes) {
    QProcess* first = Start();
    ASSERT_FALSE(WaitForLine(first, "ready").isEmpty());
    const QByteArray folder = QFile::encodeName(folder_.path());
    // QProcess would re-encode the argument; the shell hands the raw bytes on.
    auto later = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", folder_.path());
    later->setProcessEnvironment(env);
    later->start("/bin/sh",
                 {"-c", "exec \"$0\" vq-test \"$1\" files \"$1/$(printf 'x\\377\\376y')\"",
                  VELQUIST_INSTANCE_HELPER, folder_.path()});
    ASSERT_TRUE(later->waitForFinished(kWaitMs));
    EXPECT_EQ(later->readAllStandardOutput().trimmed(), "role=1");
    EXPECT_EQ(WaitForLine(first, "files"), "files " + folder + "/x\xff\xfey");

    // And straight from the socket: percent-encoded bytes, a zero byte refused.
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    ASSERT_TRUE(socket.waitForConnected(kWaitMs));
    socket.write("open %2Fa%FF%80.heic\nopen %2Fz%00.heic\nraise\n");
    ASSERT_TRUE(socket.waitForReadyRead(kWaitMs));
    EXPECT_EQ(WaitForLine(first, "files"), QByteArray("files /a\xff\x80.heic"));
}

} // namespace
} // namespace velquist
