#include "app/app_startup.h"
#include "app/command_line.h"
#include "app_test_util.h"
#include "platform/single_instance.h"
#include "support/temp_dir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace velquist {
namespace {

QString NameAt(ui::CControlUI* list, int index) {
    return list->GetItemAt(index)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText();
}

class OpenFilesTest : public ::testing::Test {
  protected:
    QString Folder() const { return QString::fromStdString(dir_.Path()); }

    QString MakeFile(const QString& relative) {
        const QString path = Folder() + "/" + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("ftypheic");
        return path;
    }

    test::TempDir dir_;
};

TEST(CommandLineTest, PathsBecomeAbsoluteAndOptionsAreSetApart) {
    const CommandLine line =
        ParseCommandLine({"a.heic", "--unknown", "sub/../b.HEIF", "file:///x/c%20d.heic",
                          "/abs/e.heic", "--check-install", "--", "--dashed.heic", ""},
                         "/work/dir");
    EXPECT_TRUE(line.checkInstall);
    EXPECT_EQ(line.paths,
              (std::vector<std::string>{"/work/dir/a.heic", "/work/dir/b.HEIF", "/x/c d.heic",
                                        "/abs/e.heic", "/work/dir/--dashed.heic"}));
    // Names are bytes, in a file: URL too.
    EXPECT_EQ(ParseCommandLine({"x\xff.heic", "file:///y/z%FF.heic"}, "/w\xfe").paths,
              (std::vector<std::string>{"/w\xfe/x\xff.heic", "/y/z\xff.heic"}));
    EXPECT_FALSE(ParseCommandLine({}, "/").checkInstall);
    EXPECT_TRUE(ParseCommandLine({"--help"}, "/").help);
    EXPECT_TRUE(ParseCommandLine({"-V"}, "/").version);
    EXPECT_FALSE(ParseCommandLine({"--", "--version"}, "/").version);
    EXPECT_TRUE(ParseCommandLine({}, "/").paths.empty());
}

TEST_F(OpenFilesTest, FilesOfAFreshStartJoinTheListAndFoldersByTheFolderRule) {
    MakeFile("one.heic");
    MakeFile("album/two.HEIC");
    MakeFile("album/notes.txt");
    const CommandLine line = ParseCommandLine({"one.heic", "album"}, dir_.Path());

    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    window->AddOpenedPaths(line.paths);
    // Folders are scanned off the GUI thread.
    ASSERT_TRUE(test::SpinUntil([window] { return window->PendingScans() == 0; }));
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(NameAt(list, 0), QStringLiteral("one.heic"));
    EXPECT_EQ(NameAt(list, 1), QStringLiteral("two.HEIC"));
    test::CloseMainWindow(window);
}

// The running instance lives in this process, wired as the program wires it;
// the later start is the real program, started from another folder with a
// relative path.
TEST_F(OpenFilesTest, FilesOfALaterStartJoinTheRunningInstancesList) {
    MakeFile("later/photo one.heic");
    const QString runtime = test::MakePrivateRuntimeFolder(Folder() + "/runtime");
    SingleInstance instance(SingleInstance::DefaultName(), runtime);
    ASSERT_EQ(instance.Acquire(), SingleInstance::Role::kFirst);
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ConnectInstanceToWindow(instance, window);

    // The event loop runs meanwhile: this process answers the later start.
    EXPECT_EQ(test::RunLaterStart(runtime, Folder() + "/later", QStringLiteral(VELQUIST_APP_BIN),
                                  {QStringLiteral("photo one.heic")}),
              0);

    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_TRUE(test::SpinUntil([list] { return list->GetCount() == 1; }, 10000));
    EXPECT_EQ(NameAt(list, 0), QStringLiteral("photo one.heic"));
    test::CloseMainWindow(window);
}

// Printed and ended without a window, so even without any display.
TEST(InstallLayoutTest, HelpAndVersionPrintAndEndWithoutAWindow) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("zh_CN"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const char* option : {"--version", "--help"}) {
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(VELQUIST_APP_BIN), {QLatin1String(option)});
        ASSERT_TRUE(run.waitForFinished(20000)) << option;
        EXPECT_EQ(run.exitCode(), 0) << option;
        const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
        if (std::string(option) == "--version") {
            EXPECT_EQ(out, QStringLiteral("velquist 1.0.1\n"));
        } else {
            EXPECT_TRUE(out.startsWith(QStringLiteral("用法: velquist"))) << out.toStdString();
            EXPECT_TRUE(out.contains(QStringLiteral("--version")));
        }
    }
}

// The help follows the session's language like the windows do.
TEST(InstallLayoutTest, HelpSpeaksTheSessionsLanguage) {
    for (const auto& [language, start] :
         {std::pair{"zh_CN", "用法: velquist"}, std::pair{"en_US", "Usage: velquist"}}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANGUAGE"), QLatin1String(language));
        env.insert(QStringLiteral("LC_ALL"), QLatin1String(language) + QStringLiteral(".UTF-8"));
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(VELQUIST_APP_BIN), {QStringLiteral("--help")});
        ASSERT_TRUE(run.waitForFinished(20000)) << language;
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(QString::fromUtf8(start))) << out.toStdString();
    }
}

TEST(InstallLayoutTest, TheBuildTreeFindsItsSkinAndWorker) {
    EXPECT_TRUE(QFile::exists(FindSkinFolder() + "res.xml"));
    QProcess check;
    check.start(QStringLiteral(VELQUIST_APP_BIN), {QStringLiteral("--check-install")});
    ASSERT_TRUE(check.waitForFinished(20000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().constData();
}

} // namespace
} // namespace velquist
