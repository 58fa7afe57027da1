// velquist-action as a file manager starts it: on a private session bus whose notification
// server is this test, offscreen, with saved settings that name another output folder.
#include "support/heic_fixture.h"
#include "support/temp_dir.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QVariantMap>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>

namespace velquist {
namespace {

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    QStringList capabilities;
    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Shown> shown;

  public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        shown.append({summary, body, actions});
        return static_cast<uint>(shown.size());
    }

  signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString& key);
};

bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ActionNotifyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
        if (!bus_.waitForStarted() || !WaitFor([this] { return bus_.canReadLine(); }, 10000)) {
            GTEST_SKIP() << "no dbus-daemon to run a private session bus";
        }
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        QDBusConnection connection =
            QDBusConnection::connectToBus(address_, QStringLiteral("fake"));
        ASSERT_TRUE(connection.registerObject(
            QStringLiteral("/org/freedesktop/Notifications"), &server_,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
        // Saved settings send outputs elsewhere; the action must write beside the photos.
        std::filesystem::create_directories(home_.File("data/Morvane/Config"));
        std::ofstream(home_.File("data/Morvane/Config/configure.ini"))
            << "[global]\noutput-dir=" << home_.File("elsewhere") << "\n";
        std::filesystem::create_directories(home_.File("elsewhere"));
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        bus_.kill();
        bus_.waitForFinished();
    }

    void StartAction(const QStringList& files) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The texts checked are the Chinese ones.
        env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("zh_CN"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home_.Path()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(home_.File("data")));
        action_.setProcessEnvironment(env);
        action_.start(QStringLiteral(VELQUIST_ACTION_BIN),
                      QStringList{QStringLiteral("--format"), QStringLiteral("jpg")} + files);
        ASSERT_TRUE(action_.waitForStarted());
    }

    QString Photo(const std::string& name) {
        EXPECT_EQ(test::WriteHeic(dir_.File(name), test::HeicImageSpec{}), "");
        return QString::fromStdString(dir_.File(name));
    }

    // What the run wrote into the photos' folder.
    std::vector<std::filesystem::path> Outputs() {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            if (entry.path().extension() != ".heic") {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    bool ActionEnded() {
        return WaitFor([this] { return action_.state() == QProcess::NotRunning; });
    }

    test::TempDir home_;
    test::TempDir dir_;
    QProcess bus_;
    QString address_;
    FakeNotifications server_;
    QProcess action_;
};

TEST_F(ActionNotifyTest, ConvertsBesideThePhotosAndSaysHowManyFailed) {
    std::ofstream(dir_.File("a.jpg")) << "an earlier file";
    std::ofstream(dir_.File("broken.heic")) << "not a photo";
    StartAction(
        {Photo("a.heic"), Photo("b.heic"), QString::fromStdString(dir_.File("broken.heic"))});
    ASSERT_TRUE(ActionEnded()) << action_.readAllStandardError().toStdString();
    EXPECT_EQ(action_.exitCode(), 0);

    ASSERT_EQ(server_.shown.size(), 1);
    EXPECT_EQ(server_.shown[0].summary, QStringLiteral("转换完成"));
    EXPECT_EQ(server_.shown[0].body, QStringLiteral("已转换 2 张，失败 1 张"));
    EXPECT_TRUE(server_.shown[0].actions.isEmpty()) << "the server offers no actions";
    EXPECT_EQ(Slurp(dir_.File("a.jpg")), "an earlier file");
    EXPECT_EQ(Slurp(dir_.File("a (2).jpg")).substr(0, 2), "\xff\xd8");
    EXPECT_EQ(Slurp(dir_.File("b.jpg")).substr(0, 2), "\xff\xd8");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("broken.jpg")));
    EXPECT_TRUE(std::filesystem::is_empty(home_.File("elsewhere")));
}

// With actions the notification offers the folder, and the action stays for the answer.
TEST_F(ActionNotifyTest, OffersTheFolderWhereTheServerHasActions) {
    server_.capabilities = {QStringLiteral("body"), QStringLiteral("actions")};
    Photo("c.HEIC");
    StartAction({QString::fromStdString(dir_.Path())}); // a folder: its photo
    ASSERT_TRUE(WaitFor([this] { return !server_.shown.isEmpty(); }));
    EXPECT_EQ(server_.shown[0].body, QStringLiteral("已转换 1 张"));
    EXPECT_EQ(server_.shown[0].actions,
              (QStringList{QStringLiteral("open-folder"), QStringLiteral("打开文件夹")}));
    EXPECT_EQ(action_.state(), QProcess::Running);
    emit server_.NotificationClosed(1, 2);
    ASSERT_TRUE(ActionEnded());
    EXPECT_EQ(action_.exitCode(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir_.File("c.jpg")));
}

// A stop (here SIGTERM, as at the end of a session; 取消 takes the same way) while the
// converter runs: it is reported as such, and every output there is a whole JPEG.
TEST_F(ActionNotifyTest, AStopLeavesOnlyWholeOutputs) {
    // Enough photos of some size that the first output comes well before the last.
    constexpr std::size_t kPhotos = 16;
    test::HeicImageSpec photo;
    photo.width = 1600;
    photo.height = 1200;
    ASSERT_EQ(test::WriteHeic(dir_.File("p0.heic"), photo), "");
    for (std::size_t i = 1; i < kPhotos; ++i) {
        std::filesystem::copy_file(dir_.File("p0.heic"),
                                   dir_.File("p" + std::to_string(i) + ".heic"));
    }
    StartAction({QString::fromStdString(dir_.Path())});
    // A JPEG, not just any new name: the converter's short-lived probe of the folder counts
    // as nothing.
    const auto wroteJpeg = [this] {
        const std::vector<std::filesystem::path> found = Outputs();
        return std::any_of(found.begin(), found.end(),
                           [](const auto& path) { return path.extension() == ".jpg"; });
    };
    ASSERT_TRUE(WaitFor(wroteJpeg)) << "the converter never wrote";
    ::kill(static_cast<pid_t>(action_.processId()), SIGTERM);
    ASSERT_TRUE(ActionEnded());
    EXPECT_EQ(action_.exitStatus(), QProcess::NormalExit);

    const std::vector<std::filesystem::path> outputs = Outputs();
    for (const std::filesystem::path& output : outputs) {
        const std::string jpeg = Slurp(output);
        EXPECT_EQ(output.extension(), ".jpg") << "left behind";
        EXPECT_TRUE(jpeg.size() > 4 && jpeg.compare(0, 2, "\xff\xd8") == 0 &&
                    jpeg.compare(jpeg.size() - 2, 2, "\xff\xd9") == 0)
            << "not a whole JPEG: " << output;
    }
    EXPECT_LT(outputs.size(), kPhotos) << "the stop came after the run";
    ASSERT_EQ(server_.shown.size(), 1);
    EXPECT_EQ(server_.shown[0].summary, QStringLiteral("转换已取消"));
    EXPECT_EQ(server_.shown[0].body, QStringLiteral("已转换 %1 张").arg(outputs.size()));
}

} // namespace
} // namespace velquist

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "action_notify_test.moc"
