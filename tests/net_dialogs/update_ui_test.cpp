#include "gui_driver.h"
#include "loopback_server.h"
#include "net/dialogs/desktop_shell.h"
#include "net/dialogs/gui_update_ui.h"
#include "net/dialogs/net_dialogs.h"
#include "net/httpdownload.h"
#include "net/service_url.h"
#include "ui/paint_manager.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquist {
namespace {

using velquist::testing::Click;
using velquist::testing::PumpUntil;
using velquist::testing::ShownWindow;
using velquist::testing::TextOf;
using velquist::testing::WhenShown;

struct RecordingShell : Shell {
    std::atomic<int> opened{0};
    std::atomic<int> exits{0};
    bool Open(const std::string&) override {
        ++opened;
        return true;
    }
    void ExitProcess() override { ++exits; }
    void FailForcedUpgrade(const std::wstring&) override { ++exits; }
};

// An ordinary window standing in for the main window.
class OwnerWindow : public ui::WindowImplBase {
  public:
    QString GetWindowClassName() const override { return QStringLiteral("TestMainWindow"); }
    QString GetSkinFile() override { return QStringLiteral("PromptBox.xml"); }
};

class UpdateUiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::CPaintManagerUI::SetResourcePath(VELQUIST_SKIN_DIR);
        server_.server().Post("/v1/upgrade_check",
                              [this](const httplib::Request&, httplib::Response& res) {
                                  std::lock_guard<std::mutex> lock(mutex_);
                                  res.set_content(reply_, "application/json");
                              });
        server_.server().Get(
            "/setup.exe", [this](const httplib::Request& req, httplib::Response& res) {
                if (req.method == "GET") {
                    std::lock_guard<std::mutex> lock(mutex_);
                    seen_.push_back("download");
                }
                res.set_content(std::string(3000, 'i'), "application/octet-stream");
            });
        server_.Start();
        SetServiceBaseUrl(server_.BaseUrl());
        SetDownloadShell(&shell_);
        owner_ = new OwnerWindow;
        ASSERT_NE(
            owner_->Create(ui::kNoWindow, "owner", ui::WS_OVERLAPPEDWINDOW | ui::WS_VISIBLE, 0),
            ui::kNoWindow);
    }
    void TearDown() override {
        SetDownloadShell(nullptr);
        ReloadServiceBaseUrl();
        owner_->Close(0);
        PumpUntil([this] { return !owner_->IsWindow(); });
        delete owner_;
    }

    void Offer(const std::string& version, const std::string& force) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = R"({"ret":0,"data":{"app_version":")" + version + R"(","download_url":")" +
                 server_.BaseUrl() + R"(/setup.exe","force_upgrade":)" + force + "}}";
    }

    // The start-up check on its own thread, with the GUI thread serving its dialogs.
    void RunStartupCheck() {
        std::atomic<bool> done{false};
        std::thread check([this, &done] {
            UpdateCheckThread(owner_->GetHWND());
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&done] { return done.load(); }));
        check.join();
    }

    velquist::testing::LoopbackServer server_;
    std::mutex mutex_;
    std::string reply_;
    std::vector<std::string> seen_; // what the user saw, in order
    RecordingShell shell_;
    OwnerWindow* owner_ = nullptr;
};

TEST_F(UpdateUiTest, MenuCheckSaysNothingNewInAnOwnerlessPrompt) {
    Offer("1.0.1", "0");
    QString text;
    bool ownerBlocked = true;
    WhenShown(QStringLiteral("PromptBoxDialog"), [&](QWidget* box) {
        text = TextOf(box, "msgText");
        ownerBlocked = QGuiApplication::modalWindow() != nullptr;
        Click(box, "msgConfirm");
    });
    EXPECT_EQ(CheckForUpdateFromMenu(owner_), 0);
    EXPECT_EQ(text, QStringLiteral("没有发现新版本!"));
    EXPECT_FALSE(ownerBlocked) << "the main window stays usable";
}

TEST_F(UpdateUiTest, StartupCheckIsSilentWhenUpToDate) {
    Offer("1.0.1", "0");
    bool anyBox = false;
    auto* watcher = new QTimer;
    QObject::connect(watcher, &QTimer::timeout, [&anyBox] {
        anyBox = anyBox || ShownWindow(QStringLiteral("PromptBoxDialog")) != nullptr ||
                 ShownWindow(QStringLiteral("MessageBoxDialog")) != nullptr;
    });
    watcher->start(2);
    RunStartupCheck();
    PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    delete watcher;
    EXPECT_FALSE(anyBox);
}

TEST_F(UpdateUiTest, DeclinedOptionalUpgradeOpensNothing) {
    Offer("1.0.2", "\"0\"");
    QString asked;
    bool ownerBlocked = false;
    WhenShown(QStringLiteral("MessageBoxDialog"), [&](QWidget* box) {
        asked = TextOf(box, "msgText");
        ownerBlocked = QGuiApplication::modalWindow() != nullptr;
        Click(box, "msgCancel");
    });
    RunStartupCheck();
    EXPECT_EQ(asked, QStringLiteral("发现新版本啦!"));
    EXPECT_TRUE(ownerBlocked) << "the announcement is owned by the main window";
    EXPECT_EQ(shell_.opened, 0);
    EXPECT_EQ(ShownWindow(QStringLiteral("升级下载")), nullptr);
}

TEST_F(UpdateUiTest, AcceptedOptionalUpgradeDownloadsAndStartsTheInstaller) {
    Offer("1.0.10", "0");
    WhenShown(QStringLiteral("MessageBoxDialog"), [](QWidget* box) { Click(box, "msgConfirm"); });
    RunStartupCheck();
    EXPECT_EQ(shell_.opened, 1);
    EXPECT_EQ(shell_.exits, 1);
}

TEST_F(UpdateUiTest, ForcedUpgradeShowsThePromptThenTheDownload) {
    Offer("2.0.0", "\"1\"");
    WhenShown(QStringLiteral("PromptBoxDialog"), [this](QWidget* box) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(TextOf(box, "msgText").toStdString());
        }
        // Closed by the frame rather than the button: the download follows anyway.
        box->close();
    });
    RunStartupCheck();
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(seen_, (std::vector<std::string>{"发现新版本啦!", "download"}));
    EXPECT_EQ(shell_.opened, 1);
    EXPECT_EQ(shell_.exits, 1);
}

TEST_F(UpdateUiTest, MalformedVersionIsSilentEvenFromTheMenu) {
    Offer("1.x.2", "1");
    bool anyBox = false;
    auto* watcher = new QTimer;
    QObject::connect(watcher, &QTimer::timeout, [&anyBox] {
        anyBox = anyBox || ShownWindow(QStringLiteral("PromptBoxDialog")) != nullptr;
    });
    watcher->start(2);
    EXPECT_EQ(CheckForUpdateFromMenu(owner_), 0);
    PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    delete watcher;
    EXPECT_FALSE(anyBox);
}

TEST_F(UpdateUiTest, FailedRequestGivesMinusOneAndShowsNothing) {
    SetServiceBaseUrl("http://127.0.0.1:" +
                      std::to_string(velquist::testing::ClosedLoopbackPort()));
    EXPECT_EQ(CheckForUpdateFromMenu(owner_), -1);
}

} // namespace
} // namespace velquist
