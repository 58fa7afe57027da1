#include "app_test_util.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace velquist {
namespace {

// Each run gets its own session folder, so that the test never meets a
// program the user runs.
QProcessEnvironment ProgramEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = QString::fromStdString(test::TestHome());
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

bool HasSocket() {
    const QString runtime = QString::fromStdString(test::TestHome()) + QStringLiteral("/runtime");
    return !QDir(runtime).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot).isEmpty();
}

TEST(TwoProcesses, TheSecondStartHandsOverAndExitsZero) {
    QProcess first;
    first.setProcessEnvironment(ProgramEnvironment());
    first.start(QStringLiteral(VELQUIST_APP_BIN), {});
    ASSERT_TRUE(first.waitForStarted(20000));
    // The first is ready once its rendezvous socket exists: a connection made before it
    // next reads waits in the socket's queue.
    ASSERT_TRUE(test::SpinUntil([] { return HasSocket(); }, 30000));

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment());
    second.start(QStringLiteral(VELQUIST_APP_BIN), {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(10000);
}

} // namespace
} // namespace velquist
