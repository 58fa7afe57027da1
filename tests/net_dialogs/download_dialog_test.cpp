#include "dialogs/dialog_base.h"
#include "gui_driver.h"
#include "loopback_server.h"
#include "net/dialogs/desktop_shell.h"
#include "net/dialogs/download_dialog.h"
#include "net/httpdownload.h"
#include "platform/shell_open.h"
#include "signed_installer.h"
#include "ui/paint_manager.h"

#include <QAbstractButton>
#include <QSlider>
#include <QUrl>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct RecordingShell : Shell {
    std::mutex mutex;
    std::vector<std::string> opened;
    std::atomic<int> exits{0};
    std::vector<std::wstring> failures;
    bool Open(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        opened.push_back(path);
        return true;
    }
    void ExitProcess() override { ++exits; }
    void FailForcedUpgrade(const std::wstring& text) override {
        std::lock_guard<std::mutex> lock(mutex);
        failures.push_back(text);
    }
};

// What the dialog showed, seen through its own message handling.
struct Seen {
    std::vector<int> percents;
    QString lastLabel;
    int lastSlider = -1;
    bool destroyed = false;
};

class WatchedDownloadDialog : public DownloadDialog {
  public:
    WatchedDownloadDialog(const std::string& url, int force, Seen* seen, bool cancelOnProgress,
                          const InstallerCheck& check = {})
        : DownloadDialog(nullptr, url, force, check), seen_(seen),
          cancelOnProgress_(cancelOnProgress) {}
    ~WatchedDownloadDialog() override { seen_->destroyed = true; }

    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override {
        const ui::LRESULT result =
            DownloadDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
        if (uMsg != kMsgDownloadProgress) {
            return result;
        }
        seen_->percents.push_back(static_cast<int>(wParam));
        seen_->lastLabel = FindControl(QStringLiteral("download-text"))->GetText();
        seen_->lastSlider = GetWidget()->findChild<QSlider*>("download-slider")->value();
        if (cancelOnProgress_) {
            GetWidget()->findChild<QAbstractButton*>("cancel")->click();
        }
        return result;
    }

  private:
    Seen* seen_;
    bool cancelOnProgress_;
};

std::string Payload(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 13 + 5);
    }
    return bytes;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sends a first block, then trickles until the client gives up.
void ServeSlowly(httplib::Server& server) {
    server.Get("/slow.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1 << 20, "application/octet-stream",
                                 [](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) {
                                         std::this_thread::sleep_for(20ms);
                                     }
                                     std::string part = Payload(1024);
                                     return sink.write(part.data(), part.size());
                                 });
    });
}

class DownloadDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::CPaintManagerUI::SetResourcePath(VELQUIST_SKIN_DIR);
        HttpDownload::SetConnectTimeoutMs(2000);
        HttpDownload::SetStallTimeoutMs(3000);
        SetDownloadShell(&shell_);
        signer_.Install();
    }
    void TearDown() override {
        SetDownloadShell(nullptr);
        velquist::testing::TestSigner::Uninstall();
    }

    // A Debian package the maker signed, served at path; Show passes its signature.
    std::string ServeInstaller(const std::string& path, size_t size) {
        std::string bytes = velquist::testing::DebianPackage(size);
        signatures_[path] = signer_.SignRaw(bytes);
        server_.server().Get(path, [bytes](const httplib::Request&, httplib::Response& res) {
            res.set_content(bytes, "application/octet-stream");
        });
        return bytes;
    }

    // Without a signature of its own, the check carries the one recorded for the path or
    // one nothing verifies, so that the transfer decides the outcome.
    int Show(const std::string& path, int force, bool cancelOnProgress = false,
             InstallerCheck check = {}) {
        if (check.signature.empty()) {
            auto found = signatures_.find(path.substr(0, path.find('?')));
            check.signature = found != signatures_.end() ? found->second : std::string(64, '\0');
        }
        return ShowModalBox(std::make_unique<WatchedDownloadDialog>(
                                server_.BaseUrl() + path, force, &seen_, cancelOnProgress, check),
                            ui::kNoWindow);
    }

    static fs::path TempFolder() { return fs::path(InstallerTempDir()); }

    velquist::testing::LoopbackServer server_;
    velquist::testing::TestSigner signer_;
    std::map<std::string, std::string> signatures_;
    RecordingShell shell_;
    Seen seen_;
};

TEST_F(DownloadDialogTest, ProgressClimbsToOneHundredAndTheInstallerStarts) {
    const std::string installer = velquist::testing::DebianPackage(100 * 1024 + 17);
    signatures_["/pkg/velquist_1.0.2_amd64.deb"] = signer_.SignRaw(installer);
    std::string query;
    server_.server().Get("/pkg/velquist_1.0.2_amd64.deb",
                         [&](const httplib::Request& req, httplib::Response& res) {
                             query = req.get_param_value("channel");
                             res.set_content(installer, "application/octet-stream");
                         });
    server_.Start();

    EXPECT_EQ(Show("/pkg/velquist_1.0.2_amd64.deb?channel=stable", 0), 1);

    EXPECT_TRUE(seen_.destroyed);
    ASSERT_FALSE(seen_.percents.empty());
    for (size_t i = 1; i < seen_.percents.size(); ++i) {
        EXPECT_LT(seen_.percents[i - 1], seen_.percents[i]) << "only changes are posted";
    }
    EXPECT_EQ(seen_.percents.back(), 100);
    EXPECT_EQ(seen_.lastLabel, QStringLiteral("100%"));
    EXPECT_EQ(seen_.lastSlider, 100);
    EXPECT_EQ(query, "stable");
    const fs::path saved = TempFolder() / "velquist_1.0.2_amd64.deb";
    ASSERT_EQ(shell_.opened.size(), 1u);
    EXPECT_EQ(fs::path(shell_.opened[0]), saved);
    EXPECT_EQ(ReadFile(saved), installer);
    EXPECT_EQ(shell_.exits, 1);
}

TEST_F(DownloadDialogTest, OneBlockOf1024BytesShowsOneHundredPercentAtOnce) {
    ServeInstaller("/one.deb", 1024);
    server_.Start();
    EXPECT_EQ(Show("/one.deb", 0), 1);
    EXPECT_EQ(seen_.percents, std::vector<int>{100});
    EXPECT_EQ(seen_.lastLabel, QStringLiteral("100%"));
    EXPECT_EQ(shell_.opened.size(), 1u);
}

TEST_F(DownloadDialogTest, FailedDownloadsCloseTheDialogWithoutStartingAnything) {
    server_.server().Get("/missing.exe", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("<html>not here</html>", "text/html");
    });
    server_.server().Get("/cut.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(4096, "application/octet-stream",
                                 [](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) {
                                         return false;
                                     }
                                     std::string part = Payload(1500);
                                     sink.write(part.data(), part.size());
                                     return true;
                                 });
    });
    server_.Start();
    EXPECT_EQ(Show("/missing.exe", 0), 1);
    EXPECT_EQ(Show("/cut.exe", 0), 1);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 0);
}

TEST_F(DownloadDialogTest, CancelOfAnOptionalUpgradeClosesTheDialogAndTheProgramGoesOn) {
    ServeSlowly(server_.server());
    server_.Start();
    EXPECT_EQ(Show("/slow.exe", 0, true), 1);
    EXPECT_TRUE(seen_.destroyed);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 0);
}

TEST_F(DownloadDialogTest, CancelOfAForcedUpgradeAsksForTheProcessEnd) {
    ServeSlowly(server_.server());
    server_.Start();
    Show("/slow.exe", 1, true);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 1);
}

TEST_F(DownloadDialogTest, CancelOfAForcedUpgradeEndsTheProcessWithCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ServeSlowly(server_.server());
    server_.Start();
    SetDownloadShell(nullptr);
    EXPECT_EXIT((Show("/slow.exe", 1, true), std::exit(3)), ::testing::ExitedWithCode(0), "");
}

TEST_F(DownloadDialogTest, ManifestChecksTravelWithTheDialog) {
    server_.server().Get("/setup.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("abd", "application/octet-stream");
    });
    server_.Start();
    // SHA-256 of "abc": the served bytes differ.
    const InstallerCheck check{"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                               3, signer_.SignRaw("abd")};
    EXPECT_EQ(Show("/setup.exe", 0, false, check), 1);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_FALSE(fs::exists(TempFolder() / "setup.exe.deb"));
    Show("/setup.exe", 1, false, check);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,文件校验失败!"});
    EXPECT_EQ(shell_.exits, 0);
}

// The real shell: the prompt is shown and answered, then the process ends with code 1.
TEST_F(DownloadDialogTest, FailedForcedUpgradeIsExplainedAndEndsWithANonZeroCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    server_.server().Get("/missing.exe",
                         [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    server_.Start();
    SetDownloadShell(nullptr);
    auto answer = [] {
        velquist::testing::WhenShown(QStringLiteral("PromptBoxDialog"), [](QWidget* box) {
            if (velquist::testing::TextOf(box, "msgText") == QStringLiteral("升级失败,网络错误!")) {
                std::fprintf(stderr, "prompt seen\n");
            }
            velquist::testing::Click(box, "msgConfirm");
        });
    };
    EXPECT_EXIT((answer(), Show("/missing.exe", 1), std::exit(0)), ::testing::ExitedWithCode(1),
                "prompt seen");
}

struct DesktopOpener : UrlOpener {
    bool accept = false;
    std::vector<QUrl> opened;
    bool Open(const QUrl& url) override {
        opened.push_back(url);
        return accept;
    }
};

TEST_F(DownloadDialogTest, InstallerTheDesktopRefusesLeavesTheProgramRunning) {
    ServeInstaller("/setup.deb", 5000);
    server_.Start();
    SetDownloadShell(nullptr);
    DesktopOpener opener;
    SetUrlOpener(&opener);
    EXPECT_EQ(Show("/setup.deb", 0), 1);
    SetUrlOpener(nullptr);
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(fs::path(opener.opened[0].toLocalFile().toStdString()), TempFolder() / "setup.deb");
    EXPECT_TRUE(seen_.destroyed);
}

TEST_F(DownloadDialogTest, StartedInstallerEndsTheProcessWithCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ServeInstaller("/setup.deb", 5000);
    server_.Start();
    SetDownloadShell(nullptr);
    DesktopOpener opener;
    opener.accept = true;
    SetUrlOpener(&opener);
    EXPECT_EXIT((Show("/setup.deb", 0), std::exit(3)), ::testing::ExitedWithCode(0), "");
    SetUrlOpener(nullptr);
}

// The frame's close button must not take the window from under the download thread.
TEST_F(DownloadDialogTest, FrameCloseCountsAsCancelAndTheThreadClosesTheDialog) {
    ServeSlowly(server_.server());
    server_.Start();
    bool stayedOpen = false;
    velquist::testing::WhenShown(QStringLiteral("升级下载"), [&stayedOpen](QWidget* window) {
        window->close();
        stayedOpen = window->isVisible();
    });
    EXPECT_EQ(Show("/slow.exe", 0), 1);
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(seen_.destroyed);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 0);
}

// Through the real desktop shell: what the maker did not sign as a Debian package never
// reaches the desktop, and a forced upgrade says so and ends with code 1.
TEST_F(DownloadDialogTest, UntrustedInstallerNeverReachesTheDesktop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    velquist::testing::TestSigner stranger;
    const std::string entry = "[Desktop Entry]\nType=Application\nExec=sh -c id\n";
    const std::string package = ServeInstaller("/velquist.deb", 3000);
    server_.server().Get("/run.desktop", [entry](const httplib::Request&, httplib::Response& res) {
        res.set_content(entry, "application/x-desktop");
    });
    server_.Start();
    SetDownloadShell(nullptr);
    DesktopOpener opener;
    opener.accept = true;
    SetUrlOpener(&opener);
    EXPECT_EQ(Show("/velquist.deb", 0, false, stranger.CheckFor(package)), 1);
    EXPECT_EQ(Show("/run.desktop", 0, false, signer_.CheckFor(entry)), 1);
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_FALSE(fs::exists(TempFolder() / "run.desktop"));
    EXPECT_FALSE(fs::exists(TempFolder() / "run.desktop.deb"));

    auto answer = [] {
        velquist::testing::WhenShown(QStringLiteral("PromptBoxDialog"), [](QWidget* box) {
            if (velquist::testing::TextOf(box, "msgText") ==
                QStringLiteral("升级失败,文件校验失败!")) {
                std::fprintf(stderr, "prompt seen\n");
            }
            velquist::testing::Click(box, "msgConfirm");
        });
    };
    EXPECT_EXIT((answer(), Show("/run.desktop", 1, false, signer_.CheckFor(entry)), std::exit(0)),
                ::testing::ExitedWithCode(1), "prompt seen");
    SetUrlOpener(nullptr);
}

} // namespace
} // namespace velquist
