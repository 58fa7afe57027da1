#include "gui_driver.h"
#include "loopback_server.h"
#include "net/dialogs/desktop_shell.h"
#include "net/dialogs/gui_update_ui.h"
#include "net/dialogs/net_dialogs.h"
#include "net/httpdownload.h"
#include "net/service_url.h"
#include "signed_installer.h"
#include "ui/paint_manager.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
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
                                  if (huge_reply_ != 0) {
                                      ServeHuge(res, huge_reply_);
                                      return;
                                  }
                                  res.set_content(reply_, "application/json");
                              });
        server_.server().Get("/setup.deb",
                             [this](const httplib::Request& req, httplib::Response& res) {
                                 if (req.method == "GET") {
                                     std::lock_guard<std::mutex> lock(mutex_);
                                     seen_.push_back("download");
                                 }
                                 res.set_content(installer_, "application/octet-stream");
                             });
        server_.Start();
        SetServiceBaseUrl(server_.BaseUrl());
        SetDownloadShell(&shell_);
        signer_.Install();
        owner_ = new OwnerWindow;
        ASSERT_NE(
            owner_->Create(ui::kNoWindow, "owner", ui::WS_OVERLAPPEDWINDOW | ui::WS_VISIBLE, 0),
            ui::kNoWindow);
    }
    void TearDown() override {
        velquist::testing::TestSigner::Uninstall();
        SetDownloadShell(nullptr);
        ReloadServiceBaseUrl();
        owner_->Close(0);
        PumpUntil([this] { return !owner_->IsWindow(); });
        delete owner_;
    }

    void Offer(const std::string& version, const std::string& force) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = R"({"ret":0,"data":{"app_version":")" + version + R"(","download_url":")" +
                 server_.BaseUrl() + R"(/setup.deb","force_upgrade":)" + force +
                 R"(,"signature":")" + signer_.SignBase64(installer_) + "\"}}";
    }
    void Reply(const std::string& text, std::uint64_t huge = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = text;
        huge_reply_ = huge;
    }

    // A reply of the given length made on the fly from one block, never held whole.
    static void ServeHuge(httplib::Response& res, std::uint64_t bytes) {
        static const std::string block =
            R"({"ret":0,"data":{"app_version":"9.0.0","download_url":")" +
            std::string(64 * 1024, 'a');
        res.set_content_provider(static_cast<size_t>(bytes), "application/json",
                                 [](size_t, size_t, httplib::DataSink& sink) {
                                     return sink.write(block.data(), block.size());
                                 });
    }

    // Whether any prompt or question showed while run ran.
    static bool AnyBoxDuring(const std::function<void()>& run) {
        bool anyBox = false;
        auto* watcher = new QTimer;
        QObject::connect(watcher, &QTimer::timeout, [&anyBox] {
            anyBox = anyBox || ShownWindow(QStringLiteral("PromptBoxDialog")) != nullptr ||
                     ShownWindow(QStringLiteral("MessageBoxDialog")) != nullptr;
        });
        watcher->start(2);
        run();
        PumpUntil([] { return false; }, std::chrono::milliseconds(50));
        delete watcher;
        return anyBox;
    }

    // The start-up check on its own thread, with the GUI thread serving its dialogs.
    void RunStartupCheck() {
        std::atomic<bool> done{false};
        std::thread check([this, &done] {
            UpdateCheckThread(owner_->GetHWND(), [this] { return batch_.load(); });
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&done] { return done.load(); }));
        check.join();
    }

    velquist::testing::LoopbackServer server_;
    velquist::testing::TestSigner signer_;
    const std::string installer_ = velquist::testing::DebianPackage(3000);
    std::mutex mutex_;
    std::string reply_;
    std::uint64_t huge_reply_ = 0;
    std::vector<std::string> seen_; // what the user saw, in order
    RecordingShell shell_;
    OwnerWindow* owner_ = nullptr;
    std::atomic<bool> batch_{false}; // the main window's batch, as the check asks for it
};

// Answers the next one-button prompt with its button and keeps its text.
void ConfirmPrompt(QString* text) {
    WhenShown(QStringLiteral("PromptBoxDialog"), [text](QWidget* box) {
        *text = TextOf(box, "msgText");
        Click(box, "msgConfirm");
    });
}

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
    EXPECT_EQ(text, QStringLiteral("已是最新版本"));
    EXPECT_FALSE(ownerBlocked) << "the main window stays usable";
}

TEST_F(UpdateUiTest, StartupCheckIsSilentWhenUpToDate) {
    Offer("1.0.1", "0");
    EXPECT_FALSE(AnyBoxDuring([this] { RunStartupCheck(); }));
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
    EXPECT_EQ(asked, QStringLiteral("发现新版本啦!\n新版本:1.0.2,安装时程序将关闭。"));
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
        Click(box, "msgConfirm");
    });
    RunStartupCheck();
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(seen_, (std::vector<std::string>{"发现新版本啦!\n新版本:2.0.0,安装时程序将关闭。",
                                               "download"}));
    EXPECT_EQ(shell_.opened, 1);
    EXPECT_EQ(shell_.exits, 1);
}

// Escape on the forced prompt is its refusal, as the download's cancel: the program ends
// without the download, rather than starting it unasked or running on without it.
TEST_F(UpdateUiTest, EscapeOnTheForcedPromptQuitsWithoutDownloading) {
    Offer("2.0.0", "1");
    WhenShown(QStringLiteral("PromptBoxDialog"), [](QWidget* box) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
    });
    RunStartupCheck();
    EXPECT_EQ(shell_.exits, 1);
    EXPECT_EQ(shell_.opened, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_TRUE(seen_.empty()) << "nothing was downloaded";
}

// Declined during a batch, the forced update still ends the program, once the batch is
// done.
TEST_F(UpdateUiTest, ForcedUpdateDeclinedDuringABatchEndsTheProgramAfterIt) {
    Offer("2.0.0", "1");
    batch_ = true;
    std::atomic<int> looks{0};
    WhenShown(QStringLiteral("PromptBoxDialog"), [](QWidget* box) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
    });
    std::atomic<bool> done{false};
    std::thread check([this, &done, &looks] {
        UpdateCheckThread(owner_->GetHWND(), [this, &looks] {
            ++looks;
            return batch_.load();
        });
        done = true;
    });
    // The announcement asks once; every later look comes from the wait.
    EXPECT_TRUE(PumpUntil([&looks] { return looks.load() >= 3; }));
    EXPECT_EQ(shell_.exits, 0) << "not while the batch runs";
    batch_ = false;
    EXPECT_TRUE(PumpUntil([&done] { return done.load(); }));
    check.join();
    EXPECT_EQ(shell_.exits, 1);
    EXPECT_EQ(shell_.opened, 0);
}

// The installer ends the program: accepted during a batch, it waits for the batch, and
// the prompt and the download dialog say so.
TEST_F(UpdateUiTest, UpdateAcceptedDuringABatchWaitsForItsEnd) {
    HttpDownload::SetBatchPollMs(2);
    Offer("1.0.2", "0");
    batch_ = true;
    QString asked;
    WhenShown(QStringLiteral("MessageBoxDialog"), [&asked](QWidget* box) {
        asked = TextOf(box, "msgText");
        Click(box, "msgConfirm");
    });
    // The dialog's modal loop runs inside the question's answer: look at it from there.
    bool waiting = false;
    WhenShown(QStringLiteral("升级下载"), [this, &waiting](QWidget* dialog) {
        waiting = PumpUntil([dialog] {
            return TextOf(dialog, "downloadTitle") ==
                   QStringLiteral("下载完成,等待当前转换结束后安装…");
        });
        EXPECT_EQ(shell_.opened, 0) << "not while the batch runs";
        batch_ = false;
    });
    RunStartupCheck();
    EXPECT_TRUE(waiting);
    HttpDownload::SetBatchPollMs(0);
    EXPECT_EQ(asked, QStringLiteral("发现新版本啦!\n新版本:1.0.2,安装时程序将关闭。\n"
                                    "当前正在转换,下载完成后将等转换结束再安装。"));
    EXPECT_EQ(shell_.opened, 1);
    EXPECT_EQ(shell_.exits, 1);
}

// The start-up check runs beside the window and its dialogs go through the GUI thread:
// whatever the service answers, the check ends quietly and the window lives on.
TEST_F(UpdateUiTest, HostileRepliesEndTheStartupCheckQuietly) {
    std::string deep_data = R"({"ret":0,"data":)";
    for (int i = 0; i < 1500; ++i) {
        deep_data += R"({"a":)";
    }
    deep_data += "0" + std::string(1501, '}');
    const std::string offer = R"({"ret":0,"data":{"app_version":"9.0.0","download_url":")" +
                              server_.BaseUrl() + R"(/setup.deb","force_upgrade":1)";
    const std::vector<std::string> replies = {
        std::string(30000, '[') + std::string(30000, ']'),
        deep_data,
        offer + ",\"signature\":\"\xff\xfe\"}}",
        "{\"ret\":0,\"data\":{\"app_version\":\"9.0.\xc0\xae\",\"download_url\":\"x\"}}",
        R"({"ret":0,"data":{"app_version":"9.0.0","download_url":"\ud800","force_upgrade":1}})",
        offer + R"(,"size":{"a":[1]}}})",
        offer + R"(,"sha256":[1,2]}})",
        offer + R"(,"signature":true}})",
        R"({"ret":0,"data":{"app_version":9,"download_url":[],"force_upgrade":{}}})",
        R"({"ret":0,"data":["9.0.0"]})",
        R"({"ret":{"x":1},"data":{}})",
    };
    for (const std::string& reply : replies) {
        Reply(reply);
        EXPECT_FALSE(AnyBoxDuring([this] { RunStartupCheck(); })) << reply.substr(0, 60);
    }
    for (std::uint64_t bytes : {100ull << 20, 1536ull << 20}) {
        Reply("", bytes);
        EXPECT_FALSE(AnyBoxDuring([this] { RunStartupCheck(); })) << bytes;
        QString text;
        ConfirmPrompt(&text);
        EXPECT_EQ(CheckForUpdateFromMenu(owner_), -1) << "refused as a failed request";
        EXPECT_EQ(text, QStringLiteral("检查更新失败,服务器回复无效!")) << bytes;
    }
    EXPECT_EQ(shell_.opened, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_TRUE(seen_.empty()) << "nothing was downloaded";
}

// Confirms the announcement, then reports the refusal's prompt on stderr.
void AnswerPrompts() {
    WhenShown(QStringLiteral("PromptBoxDialog"), [](QWidget* box) {
        const QString text = TextOf(box, "msgText");
        Click(box, "msgConfirm");
        if (text == QStringLiteral("升级失败,文件校验失败!")) {
            std::fprintf(stderr, "prompt seen\n");
        } else {
            AnswerPrompts();
        }
    });
}

TEST_F(UpdateUiTest, ForcedUpgradeWithoutSignatureFailsWithTheCheckPrompt) {
    Reply(R"({"ret":0,"data":{"app_version":"9.0.0","download_url":")" + server_.BaseUrl() +
          R"(/setup.deb","force_upgrade":1}})");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SetDownloadShell(nullptr);
    // The announcement comes first, then the refusal's prompt.
    EXPECT_EXIT((AnswerPrompts(), RunStartupCheck(), std::exit(0)), ::testing::ExitedWithCode(1),
                "prompt seen");
}

} // namespace
} // namespace velquist
