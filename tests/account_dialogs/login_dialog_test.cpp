#include "account/credential_store.h"
#include "account/user_info.h"
#include "account_dialogs.h"
#include "dialog_test_support.h"
#include "dialogs/dialog_base.h"
#include "login_dialog.h"
#include "net/http_client.h"
#include "net/service_url.h"
#include "request_thread.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <thread>

namespace velquist::testing {
namespace {

using namespace std::chrono_literals;

const QString kLogin = QStringLiteral("登陆");
const QString kPrompt = QStringLiteral("PromptBoxDialog");

using LoginDialogTest = AccountDialogTest;

// Types into the login dialog, clicks "loginBtn", waits for the answer and returns
// "errorTips" (empty when the dialog went away).
QString TryLogin(QWidget* dialog, const QString& phone, const QString& password) {
    QPointer<QWidget> guard(dialog);
    Type(dialog, "account", phone);
    Type(dialog, "password", password);
    Click(dialog, "loginBtn");
    EXPECT_TRUE(RequestsSettle());
    return guard.isNull() ? QString() : TextOf(guard, "errorTips");
}

QAbstractButton* LoginButton(QWidget* dialog) {
    return dialog->findChild<QAbstractButton*>(QStringLiteral("loginBtn"));
}

TEST_F(LoginDialogTest, LocalChecksRunInOrderAndSendNothing) {
    struct Case {
        QString phone;
        QString password;
        QString message;
    };
    const std::vector<Case> cases = {
        {"", "", "手机号不能为空!"},
        {"1380013800", "secret", "非法的手机号!"},      // ten digits: length first
        {"1380013800a", "secret", "手机号只能为数字!"}, // eleven with a letter
        {" 13800138000", "secret", "非法的手机号!"},    // blanks are not trimmed
        {"1380013800 ", "secret", "手机号只能为数字!"}, // eleven with a blank
        {"13800138000", "", "密码不能为空!"},
        {"13800138000", QString(33, 'p'), "密码不能超过32位!"},
        {"１３８００１３８０００", "secret", "手机号只能为数字!"}, // full-width digits
    };
    std::vector<QString> shown;
    QString buttonAfter;
    Steps steps;
    steps.Then(kLogin, [&](QWidget* dialog) {
        for (const Case& c : cases) {
            shown.push_back(TryLogin(dialog, c.phone, c.password));
        }
        buttonAfter = LoginButton(dialog)->text();
        dialog->close();
    });
    steps.Start();
    ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND());
    ASSERT_EQ(shown.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(shown[i], cases[i].message) << "case " << i;
    }
    EXPECT_EQ(log_.Count("/v1/login"), 0);
    EXPECT_EQ(buttonAfter, "登 录");
    EXPECT_TRUE(LoggedOutLook());
}

TEST_F(LoginDialogTest, FailedExchangesShowTheirMessageAndKeepTheDialogOpen) {
    QString rejected;
    QString notJson;
    QString unreachable;
    bool stillOpen = false;
    QString buttonAfter;
    bool buttonEnabled = false;
    Steps steps;
    steps.Then(kLogin, [&](QWidget* dialog) {
        SetReply("/v1/login", "{\"ret\":400003,\"msg\":\"wrong\"}");
        rejected = TryLogin(dialog, "13800138000", "secret");
        SetReply("/v1/login", "<html><body>busy</body></html>");
        notJson = TryLogin(dialog, "13800138000", "secret");
        SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
        unreachable = TryLogin(dialog, "13800138000", "secret");
        stillOpen = dialog->isVisible();
        buttonAfter = LoginButton(dialog)->text();
        buttonEnabled = LoginButton(dialog)->isEnabled();
        dialog->close();
    });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND()), 0);
    EXPECT_EQ(rejected, "账号或密码错误!");
    EXPECT_EQ(notJson, "网络连接失败,请检查网络!");
    EXPECT_EQ(unreachable, "网络连接失败,请检查网络!");
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(buttonAfter, "登 录") << "the wait is over";
    EXPECT_TRUE(buttonEnabled);
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_FALSE(std::filesystem::exists(CredentialFilePath()));
    EXPECT_TRUE(LoggedOutLook());
}

TEST_F(LoginDialogTest, AcceptedLoginStoresCredentialsShowsTheNumberAndCloses) {
    const QString password(32, 'p'); // the longest accepted
    SetReply("/v1/login", AcceptedLogin("13800138000"));
    Steps steps;
    steps.Then(kLogin, [&](QWidget* dialog) { TryLogin(dialog, "13800138000", password); });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND()), 1);
    EXPECT_EQ(log_.Count("/v1/login"), 1);
    EXPECT_NE(log_.lastBody.find(password.toStdString()), std::string::npos);
    EXPECT_EQ(UserInfo::Instance()->mobilephone(), "13800138000");
    EXPECT_TRUE(LoggedInLook("13800138000"));
    std::optional<std::string> stored = LoadCredentials();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, CredentialPlaintext("13800138000", password.toStdString()));
}

TEST_F(LoginDialogTest, FailedSaveIsShownAndTheLoginStillHolds) {
    SetReply("/v1/login", AcceptedLogin("13800138000"));
    std::filesystem::create_directories(CredentialFilePath()); // a folder cannot be replaced
    QString prompt;
    bool loginShownUnderPrompt = false;
    bool loggedInUnderPrompt = false;
    Steps steps;
    steps.Then(kLogin, [](QWidget* dialog) { TryLogin(dialog, "13800138000", "secret"); })
        .Then(kPrompt, [&](QWidget* box) {
            prompt = TextOf(box, "msgText");
            loginShownUnderPrompt = ShownWindow(kLogin) != nullptr;
            loggedInUnderPrompt = LoggedInLook("13800138000");
            Click(box, "msgConfirm");
        });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND()), 1);
    std::filesystem::remove(CredentialFilePath());
    EXPECT_EQ(steps.Done(), 2);
    EXPECT_EQ(prompt, "登录信息保存失败!");
    EXPECT_TRUE(loginShownUnderPrompt);
    EXPECT_TRUE(loggedInUnderPrompt);
    EXPECT_TRUE(LoggedInLook("13800138000"));
    EXPECT_EQ(UserInfo::Instance()->mobilephone(), "13800138000");
}

// The service holds the login until a timer on this thread has fired a few times while
// the request waited: a login that blocked this thread could never see those ticks.
TEST_F(LoginDialogTest, WindowKeepsRunningWhileTheServiceThinks) {
    HttpClient::SetTimeouts(10000ms, 2000ms);
    HoldReplies();
    SetReply("/v1/login", AcceptedLogin("13800138000"));
    int ticksWhileHeld = 0;
    bool buttonBusy = false;
    QString buttonText;
    QTimer ticker;
    ticker.setInterval(1);
    Steps steps;
    steps.Then(kLogin, [&](QWidget* dialog) {
        QPointer<QWidget> guard(dialog);
        QObject::connect(&ticker, &QTimer::timeout, [&, guard] {
            if (guard.isNull() || log_.Count("/v1/login") == 0) {
                return;
            }
            if (++ticksWhileHeld == 5) {
                buttonBusy = !LoginButton(guard)->isEnabled();
                buttonText = LoginButton(guard)->text();
                ReleaseReplies();
            } else if (ticksWhileHeld > 5 && AccountRequestsInFlight() == 0 &&
                       !UserInfo::Instance()->LoggedIn()) {
                guard->close(); // the answer came and went without a login: stop waiting
            }
        });
        ticker.start();
        Type(dialog, "account", "13800138000");
        Type(dialog, "password", "secret");
        Click(dialog, "loginBtn");
    });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND()), 1);
    ticker.stop();
    EXPECT_GE(ticksWhileHeld, 5);
    EXPECT_TRUE(buttonBusy);
    EXPECT_EQ(buttonText, "登录中...");
    EXPECT_TRUE(LoggedInLook("13800138000"));
}

TEST_F(LoginDialogTest, ClosingDuringTheRequestAbandonsItsAnswer) {
    HttpClient::SetTimeouts(10000ms, 2000ms);
    HoldReplies();
    SetReply("/v1/login", AcceptedLogin("13800138000"));
    bool requestArrived = false;
    int pendingAtClose = 0;
    Steps steps;
    steps.Then(kLogin, [&](QWidget* dialog) {
        Type(dialog, "account", "13800138000");
        Type(dialog, "password", "secret");
        Click(dialog, "loginBtn");
        requestArrived = SpinUntil([this] { return log_.Count("/v1/login") == 1; });
        pendingAtClose = AccountRequestsInFlight();
        dialog->close();
    });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND()), 0);
    EXPECT_TRUE(requestArrived);
    EXPECT_EQ(pendingAtClose, 1) << "closed while the service still held the request";
    ReleaseReplies();
    EXPECT_TRUE(RequestsSettle());
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_FALSE(std::filesystem::exists(CredentialFilePath()));
    EXPECT_TRUE(LoggedOutLook());
}

TEST_F(LoginDialogTest, LinksHideTheLoginWhileTheirDialogRunsAndCloseItAfterwards) {
    const std::vector<std::pair<const char*, QString>> links = {
        {"register", QStringLiteral("用户注册")}, {"forgotPwd", QStringLiteral("找回密码")}};
    for (const auto& [link, className] : links) {
        SCOPED_TRACE(link);
        bool loginHidden = false;
        Steps steps;
        steps.Then(kLogin, [link](QWidget* dialog) { Click(dialog, link); })
            .Then(className, [&loginHidden](QWidget* dialog) {
                loginHidden = ShownWindow(kLogin) == nullptr;
                dialog->close();
            });
        steps.Start();
        EXPECT_EQ(ShowModalBox(std::make_unique<LoginDialog>(main_), main_->GetHWND()), 1);
        EXPECT_EQ(steps.Done(), 2);
        EXPECT_TRUE(loginHidden);
        EXPECT_EQ(ShownWindow(kLogin), nullptr);
    }
}

TEST_F(LoginDialogTest, AutomaticLoginShowsTheStoredAccount) {
    ASSERT_TRUE(SaveCredentials("13900139000", "stored"));
    SetReply("/v1/login", AcceptedLogin("13900139000"));
    std::atomic<bool> done{false};
    std::thread login([this, &done] {
        AutoLoginThread(main_->GetHWND());
        done = true;
    });
    // The look changes on this thread, so it must keep its loop running meanwhile.
    EXPECT_TRUE(SpinUntil([&done] { return done.load(); }));
    login.join();
    EXPECT_TRUE(LoggedInLook("13900139000"));
    EXPECT_EQ(UserInfo::Instance()->mobilephone(), "13900139000");
    EXPECT_NE(log_.lastBody.find("\"password\":\"stored\""), std::string::npos);
}

TEST_F(LoginDialogTest, RejectedStoredPasswordLeavesTheUserLoggedOutSilently) {
    ASSERT_TRUE(SaveCredentials("13900139000", "old-password"));
    SetReply("/v1/login", "{\"ret\":400003}");
    std::thread login([this] { AutoLoginThread(main_->GetHWND()); });
    login.join(); // nothing is handed to this thread when the service refuses
    QCoreApplication::processEvents();
    EXPECT_EQ(log_.Count("/v1/login"), 1);
    EXPECT_TRUE(LoggedOutLook());
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_TRUE(std::filesystem::exists(CredentialFilePath()));
}

TEST_F(LoginDialogTest, AutomaticLoginLeavesAWindowThatIsGoneAlone) {
    ASSERT_TRUE(SaveCredentials("13900139000", "stored"));
    SetReply("/v1/login", AcceptedLogin("13900139000"));
    const ui::HWND gone = main_->GetHWND();
    main_->Close(0);
    ASSERT_TRUE(SpinUntil([this] { return !main_->IsWindow(); }));
    std::atomic<bool> done{false};
    std::thread login([gone, &done] {
        AutoLoginThread(gone);
        done = true;
    });
    EXPECT_TRUE(SpinUntil([&done] { return done.load(); }));
    login.join();
    EXPECT_TRUE(UserInfo::Instance()->LoggedIn());
}

} // namespace
} // namespace velquist::testing
