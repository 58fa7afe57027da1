#include "account/user_info.h"
#include "code_form_dialog.h"
#include "dialog_test_support.h"
#include "dialogs/dialog_base.h"
#include "net/http_client.h"
#include "net/service_url.h"
#include "request_thread.h"
#include "ui/control.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>
#include <chrono>

namespace velquist::testing {
namespace {

const QString kRegister = QStringLiteral("用户注册");
const QString kForgot = QStringLiteral("找回密码");
const QString kPrompt = QStringLiteral("PromptBoxDialog");
const QString kLogin = QStringLiteral("登陆");

std::string Name(const char* prefix, const char* suffix) {
    return std::string(prefix) + suffix;
}

void FillForm(QWidget* dialog, const char* prefix, const QString& confirm) {
    Type(dialog, Name(prefix, "MobilePhone").c_str(), "13800138000");
    Type(dialog, Name(prefix, "Pwd").c_str(), "pw-1");
    Type(dialog, Name(prefix, "ConfirmPwd").c_str(), confirm);
    Type(dialog, Name(prefix, "VerifyCode").c_str(), "4321");
}

struct Outcome {
    int code = -2;
    QString prompt;          // empty: no prompt box came
    bool shownAgain = false; // the form came back with the fields as typed
};

struct Expected {
    std::string reply;
    QString prompt; // empty: none
    bool back;      // shown again rather than closed
};

class CodeFormTest : public AccountDialogTest {
  protected:
    // Submits a complete form and records what the user sees. A form that comes back is
    // then closed by its close button (code 0).
    Outcome Submit(CodeFormDialog* dialog, const QString& className, const char* prefix,
                   const Expected& expected) {
        Outcome outcome;
        Steps steps;
        steps.Then(className, [prefix](QWidget* form) {
            FillForm(form, prefix, "pw-1");
            Click(form, Name(prefix, "Btn").c_str());
        });
        if (!expected.prompt.isEmpty()) {
            steps.Then(kPrompt, [&outcome](QWidget* box) {
                outcome.prompt = TextOf(box, "msgText");
                Click(box, "msgConfirm");
            });
        }
        if (expected.back) {
            steps.Then(className, [&outcome, prefix](QWidget* form) {
                outcome.shownAgain =
                    TextOf(form, Name(prefix, "MobilePhone").c_str()) == "13800138000" &&
                    TextOf(form, Name(prefix, "Pwd").c_str()) == "pw-1" &&
                    TextOf(form, Name(prefix, "VerifyCode").c_str()) == "4321";
                form->close();
            });
        }
        steps.Start();
        outcome.code = ShowModalBox(std::unique_ptr<CodeFormDialog>(dialog), main_->GetHWND());
        return outcome;
    }

    void CheckTable(bool registration, const std::vector<Expected>& table) {
        for (const Expected& expected : table) {
            SCOPED_TRACE(expected.reply);
            SetReply(registration ? "/v1/register" : "/v1/forgot", expected.reply);
            CodeFormDialog* dialog = registration
                                         ? static_cast<CodeFormDialog*>(new RegisterDialog(main_))
                                         : new ForgotDialog(main_);
            Outcome outcome = Submit(dialog, registration ? kRegister : kForgot,
                                     registration ? "register" : "forgot", expected);
            EXPECT_EQ(outcome.prompt, expected.prompt);
            EXPECT_EQ(outcome.code, expected.back ? 0 : 1);
            EXPECT_EQ(outcome.shownAgain, expected.back);
        }
    }
};

TEST_F(CodeFormTest, RegistrationRepliesFollowTheirTable) {
    CheckTable(true, {
                         {"{\"ret\":0}", "用户注册成功!", false},
                         {"{\"ret\":400001}", "该用户已注册过!", true},
                         {"{\"ret\":600001}", "验证码错误!", true},
                         {"{\"ret\":600002}", "验证码无效!", true},
                         {"{\"ret\":600003}", "验证码无效!", true},
                         // A code the table does not know keeps the form as typed.
                         {"{\"ret\":500123}", "注册失败,请稍后重试!", true},
                         {"<html>bad gateway</html>", "网络错误!", false},
                         // An object without "ret" is no success.
                         {"{}", "网络错误!", false},
                     });
    EXPECT_EQ(log_.Count("/v1/register"), 8);
    EXPECT_NE(log_.lastBody.find("\"code\" : \"4321\""), std::string::npos);
    EXPECT_NE(log_.lastBody.find("\"mobilephone\" : \"13800138000\""), std::string::npos);
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
}

TEST_F(CodeFormTest, ResetRepliesFollowTheirTable) {
    CheckTable(false, {
                          {"{\"ret\":400001}", "密码重置失败!", true},
                          {"{\"ret\":400002}", "用户不存在!", true},
                          {"{\"ret\":600001}", "验证码错误!", true},
                          {"{\"ret\":600002}", "验证码无效!", true},
                          {"{\"ret\":600003}", "验证码无效!", true},
                          {"{\"ret\":123}", "密码重置失败!", true},
                          {"not json", "网络错误!", false},
                      });
    EXPECT_EQ(log_.Count("/v1/forgot"), 7);
    EXPECT_NE(log_.lastBody.find("\"password\" : \"pw-1\""), std::string::npos);
}

TEST_F(CodeFormTest, UnreachableServiceIsANetworkErrorAndCloses) {
    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
    Outcome outcome =
        Submit(new RegisterDialog(main_), kRegister, "register", {"", "网络错误!", false});
    EXPECT_EQ(outcome.prompt, "网络错误!");
    EXPECT_EQ(outcome.code, 1);
}

TEST_F(CodeFormTest, ClosingDuringTheSubmissionDropsItsAnswer) {
    HttpClient::SetTimeouts(std::chrono::seconds(10), std::chrono::seconds(2));
    HoldReplies();
    SetReply("/v1/register", "{\"ret\":0}");
    bool busy = false;
    QString busyText;
    int pendingAtClose = 0;
    Steps steps;
    steps.Then(kRegister, [&](QWidget* form) {
        FillForm(form, "register", "pw-1");
        Click(form, "registerBtn");
        SpinUntil([this] { return log_.Count("/v1/register") == 1; });
        auto* button = form->findChild<QAbstractButton*>(QStringLiteral("registerBtn"));
        busy = !button->isEnabled();
        busyText = button->text();
        pendingAtClose = AccountRequestsInFlight();
        form->close();
    });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<RegisterDialog>(main_), main_->GetHWND()), 0);
    ReleaseReplies();
    EXPECT_TRUE(RequestsSettle());
    EXPECT_TRUE(busy);
    EXPECT_EQ(busyText, "提交中...");
    EXPECT_EQ(pendingAtClose, 1) << "closed while the service still held the request";
    EXPECT_EQ(ShownWindow(kPrompt), nullptr) << "no box for an answer nobody waits for";
}

TEST_F(CodeFormTest, LocalChecksRunInOrderAndSendNothing) {
    std::vector<QString> shown;
    Steps steps;
    steps.Then(kRegister, [&shown](QWidget* form) {
        auto submit = [&shown, form] {
            Click(form, "registerBtn");
            shown.push_back(TextOf(form, "registerErrorTips"));
        };
        submit();
        Type(form, "registerMobilePhone", "abc"); // no length or digit check here
        submit();
        Type(form, "registerPwd", "pw-1");
        submit();
        Type(form, "registerConfirmPwd", "PW-1");
        submit();
        Type(form, "registerVerifyCode", "4321");
        submit();
        form->close();
    });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<RegisterDialog>(main_), main_->GetHWND()), 0);
    const std::vector<QString> expected = {"手机号不能为空!", "密码不能为空!", "确认密码不能为空!",
                                           "验证码不能为空!", "确认密码不一致!"};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(log_.Count("/v1/register"), 0);
}

// Records the code button's text after every countdown tick.
class CountingRegister : public RegisterDialog {
  public:
    CountingRegister(ui::WindowImplBase* mainWindow, std::vector<QString>* texts)
        : RegisterDialog(mainWindow), texts_(texts) {
        SetTickInterval(2);
    }
    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override {
        const ui::LRESULT result =
            RegisterDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
        if (uMsg == ui::WM_TIMER && wParam == 1000) {
            texts_->push_back(FindControl(QStringLiteral("registerVerifyCodeBtn"))->GetText());
        }
        return result;
    }

  private:
    std::vector<QString>* texts_;
};

TEST_F(CodeFormTest, CountdownRunsSixtyTicksWithOneRequest) {
    std::vector<QString> ticks;
    QString emptyPhone;
    QString badPhone;
    QString sending;
    QString started;
    int requestsWhileRunning = -1;
    QString emptyWhileRunning;
    QString restarted;
    bool stoppedAfterSixty = false;
    Steps steps;
    steps.Then(kRegister, [&](QWidget* form) {
        Click(form, "registerVerifyCodeBtn");
        emptyPhone = TextOf(form, "registerErrorTips");
        Type(form, "registerMobilePhone", "1380013800x");
        Click(form, "registerVerifyCodeBtn");
        badPhone = TextOf(form, "registerErrorTips");
        Type(form, "registerMobilePhone", "13800138009");
        Click(form, "registerVerifyCodeBtn");
        sending = TextOf(form, "registerVerifyCodeBtn");
        Click(form, "registerVerifyCodeBtn");
        RequestsSettle();
        started = TextOf(form, "registerVerifyCodeBtn");
        Click(form, "registerVerifyCodeBtn");
        RequestsSettle();
        requestsWhileRunning = log_.Count("/v1/smsnotify/register/");
        form->findChild<QLabel*>(QStringLiteral("registerErrorTips"))->clear();
        Type(form, "registerMobilePhone", "");
        Click(form, "registerVerifyCodeBtn");
        emptyWhileRunning = TextOf(form, "registerErrorTips");
        Type(form, "registerMobilePhone", "13800138009");
        SpinUntil([&ticks] { return ticks.size() >= 60; });
        SpinUntil([] { return false; }, 60);
        stoppedAfterSixty = ticks.size() == 60;
        Click(form, "registerVerifyCodeBtn");
        RequestsSettle();
        restarted = TextOf(form, "registerVerifyCodeBtn");
        form->close();
    });
    steps.Start();
    ShowModalBox(std::make_unique<CountingRegister>(main_, &ticks), main_->GetHWND());
    EXPECT_EQ(emptyPhone, "手机号不能为空!");
    EXPECT_EQ(badPhone, "手机号只能为数字!") << "no request for a malformed number";
    EXPECT_EQ(sending, "发送中...") << "the countdown waits for the code to be sent";
    EXPECT_EQ(started, "60 秒");
    EXPECT_EQ(requestsWhileRunning, 1);
    EXPECT_EQ(emptyWhileRunning, "手机号不能为空!");
    ASSERT_GE(ticks.size(), 60u);
    EXPECT_EQ(ticks[0], "59 秒");
    EXPECT_EQ(ticks[58], "1 秒");
    EXPECT_EQ(ticks[59], "重新获取");
    EXPECT_TRUE(stoppedAfterSixty);
    EXPECT_EQ(restarted, "60 秒");
    EXPECT_EQ(log_.Count("/v1/smsnotify/register/13800138009"), 2);
    EXPECT_EQ(log_.Count("/v1/smsnotify/register/"), 2);
}

// Clicks the code button of a form with a well-formed number and records the prompt and
// the button once the prompt is confirmed.
struct CodeRefusal {
    QString prompt;
    QString buttonAfter;
    bool buttonEnabled = false;
    bool ticking = true;
};

CodeRefusal RefuseCode(CodeFormDialog* dialog, const QString& className, const char* prefix,
                       ui::HWND owner) {
    CodeRefusal seen;
    const std::string button = Name(prefix, "VerifyCodeBtn");
    Steps steps;
    steps
        .Then(className,
              [prefix, button](QWidget* form) {
                  Type(form, Name(prefix, "MobilePhone").c_str(), "13800138000");
                  Click(form, button.c_str());
              })
        .Then(kPrompt,
              [&seen](QWidget* box) {
                  seen.prompt = TextOf(box, "msgText");
                  Click(box, "msgConfirm");
              })
        .Then(className, [&seen, dialog, button](QWidget* form) {
            seen.buttonAfter = TextOf(form, button.c_str());
            seen.buttonEnabled =
                form->findChild<QAbstractButton*>(QString::fromStdString(button))->isEnabled();
            seen.ticking = dialog->Countdown().running();
            form->close();
        });
    steps.Start();
    ShowModalBox(std::unique_ptr<CodeFormDialog>(dialog), owner);
    return seen;
}

TEST_F(CodeFormTest, RefusedCodeRequestSaysWhyAndStartsNoCountdown) {
    SetReply("/v1/smsnotify", "{\"ret\":400001}");
    CodeRefusal registered = RefuseCode(new RegisterDialog(main_), kRegister, "register",
                                        main_->GetHWND());
    EXPECT_EQ(registered.prompt, "该用户已注册过!");
    EXPECT_EQ(registered.buttonAfter, "获取验证码") << "free at once: no code is on its way";
    EXPECT_TRUE(registered.buttonEnabled);
    EXPECT_FALSE(registered.ticking);
    EXPECT_EQ(log_.Count("/v1/smsnotify/register/13800138000"), 1);
}

TEST_F(CodeFormTest, SuccessfulResetOpensANewLoginThatCanSignIn) {
    SetReply("/v1/forgot", "{\"ret\":0}");
    SetReply("/v1/login", AcceptedLogin("13800138000"));
    QString prompt;
    bool resetHidden = false;
    Steps steps;
    steps
        .Then(kForgot,
              [](QWidget* form) {
                  FillForm(form, "forgot", "pw-1");
                  Click(form, "forgotBtn");
              })
        .Then(kPrompt,
              [&prompt](QWidget* box) {
                  prompt = TextOf(box, "msgText");
                  Click(box, "msgConfirm");
              })
        .Then(kLogin, [&resetHidden](QWidget* login) {
            resetHidden = ShownWindow(kForgot) == nullptr;
            Type(login, "account", "13800138000");
            Type(login, "password", "pw-1");
            Click(login, "loginBtn");
        });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<ForgotDialog>(main_), main_->GetHWND()), 1);
    EXPECT_EQ(steps.Done(), 3);
    EXPECT_EQ(prompt, "密码重置成功!");
    EXPECT_TRUE(resetHidden);
    EXPECT_TRUE(LoggedInLook("13800138000"));
}

TEST_F(CodeFormTest, CancellingTheLoginAfterAResetClosesBoth) {
    SetReply("/v1/forgot", "{\"ret\":0}");
    Steps steps;
    steps
        .Then(kForgot,
              [](QWidget* form) {
                  FillForm(form, "forgot", "pw-1");
                  Click(form, "forgotBtn");
              })
        .Then(kPrompt, [](QWidget* box) { Click(box, "msgConfirm"); })
        .Then(kLogin, [](QWidget* login) { login->close(); });
    steps.Start();
    EXPECT_EQ(ShowModalBox(std::make_unique<ForgotDialog>(main_), main_->GetHWND()), 1);
    EXPECT_EQ(steps.Done(), 3);
    EXPECT_EQ(ShownWindow(kForgot), nullptr);
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_TRUE(LoggedOutLook());
}

} // namespace
} // namespace velquist::testing
