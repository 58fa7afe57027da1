#include "app/window_messages.h"
#include "e2e_fixture.h"
#include "gui_steps.h"
#include "net/dialogs/desktop_shell.h"
#include "net/httpdownload.h"
#include "net/installer_signature.h"
#include "ui/messages.h"

#include <QApplication>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace velquist::e2e {
namespace {

const std::string kNewVersion = "9.1.0";
const std::string kInstaller = "Velquist-9.1.0.deb";

// Takes the installer instead of starting it and keeps the process alive. Called from
// the download's thread.
class KeepingShell : public Shell {
  public:
    bool Open(const std::string& path) override {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::lock_guard lock(mutex_);
        path_ = path;
        bytes_ = bytes.str();
        ++opened_;
        return true;
    }
    void ExitProcess() override { ++exits_; }
    void FailForcedUpgrade(const std::wstring&) override { ++exits_; }

    int Opened() const {
        std::lock_guard lock(mutex_);
        return opened_;
    }
    std::string Bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    std::string Path() const {
        std::lock_guard lock(mutex_);
        return path_;
    }
    int Exits() const { return exits_; }

  private:
    mutable std::mutex mutex_;
    std::string path_;
    std::string bytes_;
    int opened_ = 0;
    std::atomic<int> exits_{0};
};

// A Debian package's shape, then some hundred kilobytes no two places of which look
// alike, so a piece lost or repeated shows.
std::string InstallerBytes() {
    std::string bytes = "!<arch>\ndebian-binary   0           0     0     100644  4         `\n2.0\n";
    bytes += "data.tar.xz     0           0     0     100644  307200    `\n";
    unsigned state = 12345;
    for (int i = 0; i < 300 * 1024; ++i) {
        state = state * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(state >> 16));
    }
    return bytes;
}

QWidget* ShownMenu() {
    return ShownWindow(QStringLiteral("CDuiMenu "));
}

class UpdateFlow : public EndToEndTest {
  protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        SetDownloadShell(&shell_);
    }
    void TearDown() override {
        EndToEndTest::TearDown();
        SetDownloadShell(nullptr);
    }

    KeepingShell shell_;
};

TEST_F(UpdateFlow, MenuUpdateDownloadsTheNewInstallerWholeAndHandsItOver) {
    CMainWnd* window = OpenMainWindow();
    ASSERT_NE(window, nullptr);
    // The start-up check has been answered with the current version: silent.
    ASSERT_TRUE(SpinUntil([this] {
        return CountOf(service_.Log(), "POST /v1/upgrade_check 200") >= 1;
    })) << service_.Log();

    const std::string installer = InstallerBytes();
    {
        std::ofstream out(service_.InstallersDir() + "/" + kInstaller, std::ios::binary);
        out << installer;
    }
    // Signed by the maker's own commands; the window trusts that key alone.
    const std::string exe = VELQUIST_SERVICE_EXE;
    const std::string keys = service_.DataDir() + "/maker";
    ASSERT_EQ(std::system((exe + " keygen --secret-key " + keys + ".key --public-key " + keys +
                           ".pub").c_str()),
              0);
    ASSERT_EQ(std::system((exe + " sign-installer --secret-key " + keys + ".key " +
                           service_.InstallersDir() + "/" + kInstaller).c_str()),
              0);
    std::ifstream pub(keys + ".pub");
    std::string key;
    pub >> key;
    const std::vector<std::string> trusted{key};
    SetUpdatePublicKeysForTests(&trusted);
    ASSERT_TRUE(service_.Publish(kNewVersion, "/download/" + kInstaller));

    QString offer;
    Steps steps;
    steps.Then(QStringLiteral("MessageBoxDialog"), [&offer](QWidget* box) {
        offer = TextOf(box, "msgText");
        Click(box, "msgConfirm");
    });
    steps.Start();
    ui::PostMessage(window->GetHWND(), kMsgTrayNotify, 0, kTrayRightButtonDown);
    ASSERT_TRUE(SpinUntil([] { return ShownMenu() != nullptr; }));
    Click(ShownMenu(), "main_menu_item_upgrade");

    ASSERT_TRUE(SpinUntil([this] { return shell_.Exits() > 0; })) << service_.Log();
    SetUpdatePublicKeysForTests(nullptr);
    EXPECT_TRUE(offer.startsWith(QStringLiteral("发现新版本啦!"))) << offer.toStdString();
    EXPECT_TRUE(offer.contains(QString::fromStdString(kNewVersion))) << offer.toStdString();
    EXPECT_EQ(shell_.Opened(), 1);
    EXPECT_EQ(shell_.Path().substr(shell_.Path().rfind('/') + 1), kInstaller);
    EXPECT_TRUE(shell_.Bytes() == installer)
        << "got " << shell_.Bytes().size() << " of " << installer.size() << " bytes";
    EXPECT_TRUE(SpinUntil([] { return ShownWindow(QStringLiteral("升级下载")) == nullptr; }));
    CloseMainWindow(window);
}

} // namespace
} // namespace velquist::e2e
