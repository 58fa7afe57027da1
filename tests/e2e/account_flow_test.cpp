#include "account/credential_store.h"
#include "account/user_info.h"
#include "e2e_fixture.h"
#include "gui_steps.h"

#include <QPointer>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace velquist::e2e {
namespace {

const QString kPrompt = QStringLiteral("PromptBoxDialog");
const std::string kPhone = "13912345678";
const QString kPassword = QStringLiteral("Pw-端到端-7");

using AccountFlow = EndToEndTest;

// Registration through the window's "register" link with the code the service sent;
// the prompt's text, or what went wrong.
QString RegisterThroughTheWindow(const LiveService& service, CMainWnd* window) {
    QString prompt = QStringLiteral("<no prompt>");
    Steps steps;
    steps
        .Then(QStringLiteral("用户注册"),
              [&service](QWidget* form) {
                  Type(form, "registerMobilePhone", QString::fromStdString(kPhone));
                  Click(form, "registerVerifyCodeBtn");
                  const std::optional<std::string> code = service.CodeFor(kPhone);
                  EXPECT_TRUE(code.has_value()) << "no code in the outbox";
                  Type(form, "registerPwd", kPassword);
                  Type(form, "registerConfirmPwd", kPassword);
                  Type(form, "registerVerifyCode", QString::fromStdString(code.value_or("")));
                  Click(form, "registerBtn");
              })
        .Then(kPrompt, [&prompt](QWidget* box) {
            prompt = TextOf(box, "msgText");
            Click(box, "msgConfirm");
        });
    steps.Start();
    ClickControl(window, "register");
    return prompt;
}

// The login dialog from the window's "login" link; its error line when it stays open.
QString LogInThroughTheWindow(CMainWnd* window) {
    QString error;
    Steps steps;
    steps.Then(QStringLiteral("登陆"), [&error](QWidget* dialog) {
        Type(dialog, "account", QString::fromStdString(kPhone));
        Type(dialog, "password", kPassword);
        Click(dialog, "loginBtn");
        // An accepted login closes the dialog itself; a refused one says why and stays.
        const QPointer<QWidget> open(dialog);
        SpinUntil(
            [open] { return !open || !open->isVisible() || !TextOf(open, "errorTips").isEmpty(); });
        error = open ? TextOf(open, "errorTips") : QString();
        if (!error.isEmpty()) {
            dialog->close();
        }
    });
    steps.Start();
    ClickControl(window, "login");
    return error;
}

TEST_F(AccountFlow, RegisterLogInComeBackAutomaticallySendFeedbackAndLogOut) {
    const QString account = QString::fromStdString(kPhone);
    CMainWnd* window = OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ShowsLoggedOut(window));

    EXPECT_EQ(RegisterThroughTheWindow(service_, window), QStringLiteral("用户注册成功!"))
        << service_.Log();
    EXPECT_TRUE(ShowsLoggedOut(window)) << "registering does not log in";

    EXPECT_EQ(LogInThroughTheWindow(window), QString()) << service_.Log();
    EXPECT_TRUE(ShowsLoggedIn(window, account));
    ASSERT_TRUE(std::filesystem::exists(CredentialFilePath()));

    // A new window, as at the next start: the stored credentials log in by themselves.
    CloseMainWindow(window);
    UserInfo::Instance()->Set(UserRecord{});
    window = OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(SpinUntil([&] { return ShowsLoggedIn(window, account); })) << service_.Log();
    EXPECT_EQ(CountOf(service_.Log(), "POST /v1/login 200"), 2) << service_.Log();

    const QString content = QStringLiteral("转换后的照片方向不对\n第二行");
    const QString contact = QStringLiteral("邮箱 e2e@example.cn");
    QString thanks;
    Steps feedback;
    feedback
        .Then(QStringLiteral("意见反馈"),
              [&](QWidget* form) {
                  Type(form, "feedbackContent", content);
                  Type(form, "feedbackContact", contact);
                  Click(form, "feedbackBtn");
              })
        .Then(kPrompt, [&thanks](QWidget* box) {
            thanks = TextOf(box, "msgText");
            Click(box, "msgConfirm");
        });
    feedback.Start();
    ClickControl(window, "feedback");
    EXPECT_EQ(feedback.Done(), 2);
    EXPECT_EQ(thanks, QStringLiteral("反馈信息已提交!"));
    const std::vector<LiveService::Feedback> stored = service_.StoredFeedback();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].content, content.toStdString());
    EXPECT_EQ(stored[0].contact, contact.toStdString());
    EXPECT_LE(std::abs(stored[0].createdAt - static_cast<long long>(std::time(nullptr))), 600);

    // The account centre's logout: the look changes back and the credentials are gone.
    ClickControl(window, "username");
    ASSERT_TRUE(SpinUntil([] { return ShownWindow(QStringLiteral("个人中心")) != nullptr; }));
    Click(ShownWindow(QStringLiteral("个人中心")), "logout");
    EXPECT_TRUE(SpinUntil([window] { return ShowsLoggedOut(window); }));
    EXPECT_FALSE(std::filesystem::exists(CredentialFilePath()));
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    CloseMainWindow(window);
    EXPECT_EQ(CountOf(service_.Log(), kPassword.toStdString()), 0) << "a password in the log";
}

} // namespace
} // namespace velquist::e2e
