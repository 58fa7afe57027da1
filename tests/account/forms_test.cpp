#include "account/account_forms.h"
#include "account_test_support.h"
#include "net/feedback.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <mutex>
#include <string>
#include <vector>

namespace velquist {
namespace {

TEST(CodeFormInput, ChecksInTheDialogsOrder) {
    EXPECT_EQ(CheckCodeFormInput(L"", L"", L"", L""), L"手机号不能为空!");
    EXPECT_EQ(CheckCodeFormInput(L"1", L"", L"", L""), L"密码不能为空!");
    EXPECT_EQ(CheckCodeFormInput(L"1", L"a", L"", L""), L"确认密码不能为空!");
    EXPECT_EQ(CheckCodeFormInput(L"1", L"a", L"b", L""), L"验证码不能为空!");
    EXPECT_EQ(CheckCodeFormInput(L"1", L"Ab", L"ab", L"1234"), L"确认密码不一致!");
    EXPECT_EQ(CheckCodeFormInput(L"phone", L"ab", L"ab", L"1234"), L"")
        << "the service judges the number";
}

TEST(CodeFormBody, StyledWithSortedKeys) {
    EXPECT_EQ(BuildCodeFormBody("13800000000", "pw", "1234"),
              "{\n   \"code\" : \"1234\",\n   \"mobilephone\" : \"13800000000\",\n"
              "   \"password\" : \"pw\"\n}\n");
}

class CodeFormTest : public testing::AccountServiceTest {
  protected:
    void AddRoutes(httplib::Server& server) override {
        for (const char* path : {"/v1/register", "/v1/forgot"}) {
            server.Post(path, [this](const httplib::Request& req, httplib::Response& res) {
                std::lock_guard<std::mutex> lock(mutex_);
                posts_.push_back(req.path + " " + req.body);
                res.set_content(form_reply_, "application/json");
            });
        }
        server.Get(R"(/v1/smsnotify/(register|forgot)/(.*))",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       std::lock_guard<std::mutex> lock(mutex_);
                       sms_.push_back(req.path);
                       res.status = sms_status_;
                       res.set_content(sms_reply_, "application/json");
                   });
    }

    CodeFormReply Submit(CodeForm form, const std::string& reply) {
        form_reply_ = reply;
        return SubmitCodeForm(form, L"13800000000", L"pw", L"1234");
    }

    std::mutex mutex_;
    std::string form_reply_;
    int sms_status_ = 200;
    std::string sms_reply_ = "{\"ret\":0}";
    std::vector<std::string> posts_;
    std::vector<std::string> sms_;
};

struct Expected {
    std::string reply;
    const wchar_t* prompt;
    bool close;
    bool open_login;
};

TEST_F(CodeFormTest, RegistrationRetTable) {
    const Expected table[] = {
        {"{\"ret\":0}", L"用户注册成功!", true, false},
        {"{\"ret\":400001}", L"该用户已注册过!", false, false},
        {"{\"ret\":600001}", L"验证码错误!", false, false},
        {"{\"ret\":600002}", L"验证码无效!", false, false},
        {"{\"ret\":\"600003\"}", L"验证码无效!", false, false},
        // Codes the table does not know keep the dialog and what was typed.
        {"{\"ret\":400002}", L"注册失败,请稍后重试!", false, false},
        {"{\"ret\":100500}", L"注册失败,请稍后重试!", false, false},
        {"{\"ret\":-1}", L"注册失败,请稍后重试!", false, false},
        {"{}", L"网络错误!", true, false},
        {"not json", L"网络错误!", true, false},
    };
    for (const Expected& e : table) {
        CodeFormReply reply = Submit(CodeForm::kRegister, e.reply);
        EXPECT_EQ(reply.prompt, e.prompt) << e.reply;
        EXPECT_EQ(reply.close, e.close) << e.reply;
        EXPECT_EQ(reply.open_login, e.open_login) << e.reply;
    }
    ASSERT_FALSE(posts_.empty());
    EXPECT_EQ(posts_[0], "/v1/register " + BuildCodeFormBody("13800000000", "pw", "1234"));
}

TEST_F(CodeFormTest, ResetRetTable) {
    const Expected table[] = {
        {"{\"ret\":0}", L"密码重置成功!", true, true},
        {"{\"ret\":400002}", L"用户不存在!", false, false},
        {"{\"ret\":600001}", L"验证码错误!", false, false},
        {"{\"ret\":600002}", L"验证码无效!", false, false},
        {"{\"ret\":600003}", L"验证码无效!", false, false},
        {"{\"ret\":400001}", L"密码重置失败!", false, false},
        {"{\"ret\":null}", L"网络错误!", true, false},
        {"", L"网络错误!", true, false},
    };
    for (const Expected& e : table) {
        CodeFormReply reply = Submit(CodeForm::kForgot, e.reply);
        EXPECT_EQ(reply.prompt, e.prompt) << e.reply;
        EXPECT_EQ(reply.close, e.close) << e.reply;
        EXPECT_EQ(reply.open_login, e.open_login) << e.reply;
    }
    EXPECT_EQ(posts_[0].rfind("/v1/forgot ", 0), 0u);
}

TEST_F(CodeFormTest, UnreachableServiceIsANetworkError) {
    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    for (CodeForm form : {CodeForm::kRegister, CodeForm::kForgot}) {
        CodeFormReply reply = SubmitCodeForm(form, L"1", L"p", L"c");
        EXPECT_EQ(reply.prompt, L"网络错误!");
        EXPECT_TRUE(reply.close);
    }
}

TEST_F(CodeFormTest, OneSmsRequestPerCountdown) {
    VerifyCodeCountdown countdown;
    std::vector<std::wstring> timer_starts;
    auto start_timer = [&](const std::wstring& text) { timer_starts.push_back(text); };

    CodeButtonResult empty = ClickCodeButton(CodeForm::kRegister, L"", countdown, start_timer);
    EXPECT_EQ(empty.error_tip, L"手机号不能为空!");
    EXPECT_FALSE(countdown.running());

    CodeButtonResult first =
        ClickCodeButton(CodeForm::kRegister, L"13800138000", countdown, start_timer);
    EXPECT_TRUE(first.requested);
    EXPECT_TRUE(first.prompt.empty());
    EXPECT_EQ(timer_starts, std::vector<std::wstring>{L"60 秒"});
    EXPECT_TRUE(countdown.running());

    CodeButtonResult again =
        ClickCodeButton(CodeForm::kRegister, L"13800138000", countdown, start_timer);
    EXPECT_FALSE(again.requested);
    EXPECT_EQ(ClickCodeButton(CodeForm::kRegister, L"", countdown, start_timer).error_tip,
              L"手机号不能为空!")
        << "the empty check comes first, also while counting";
    EXPECT_EQ(sms_, std::vector<std::string>{"/v1/smsnotify/register/13800138000"});

    std::vector<std::wstring> texts;
    bool finished = false;
    for (int tick = 0; tick < 60; ++tick) {
        ASSERT_FALSE(finished) << tick;
        texts.push_back(countdown.Tick(&finished));
    }
    EXPECT_TRUE(finished);
    EXPECT_EQ(texts.front(), L"59 秒");
    EXPECT_EQ(texts[58], L"1 秒");
    EXPECT_EQ(texts.back(), L"重新获取");
    EXPECT_FALSE(countdown.running());
    EXPECT_EQ(countdown.seconds_left(), 60);

    CodeButtonResult next =
        ClickCodeButton(CodeForm::kForgot, L"13900139000", countdown, start_timer);
    EXPECT_TRUE(next.requested);
    EXPECT_EQ(sms_.back(), "/v1/smsnotify/forgot/13900139000");
    EXPECT_EQ(sms_.size(), 2u);
}

TEST_F(CodeFormTest, OnlyElevenAsciiDigitsReachTheSmsRequest) {
    struct Case {
        const wchar_t* phone;
        const wchar_t* tip;
    } cases[] = {
        {L"1380013800#", L"手机号只能为数字!"},
        {L"138?x=1&y=2", L"手机号只能为数字!"},
        {L"1/../../adm", L"手机号只能为数字!"},
        {L"138 0013 80", L"手机号只能为数字!"},
        {L"%2e%2e%2f123", L"非法的手机号!"},
        {L"１３８００１３８０００", L"手机号只能为数字!"}, // full-width digits
        {L"1380013800", L"非法的手机号!"},
        {L"138001380000", L"非法的手机号!"},
    };
    for (const Case& c : cases) {
        VerifyCodeCountdown countdown;
        int timer_starts = 0;
        CodeButtonResult result = ClickCodeButton(CodeForm::kRegister, c.phone, countdown,
                                                  [&](const std::wstring&) { ++timer_starts; });
        EXPECT_EQ(result.error_tip, c.tip);
        EXPECT_FALSE(result.requested);
        EXPECT_FALSE(countdown.running());
        EXPECT_EQ(timer_starts, 0);
    }
    EXPECT_TRUE(sms_.empty()) << "nothing was sent";

    // Whatever reaches a path goes as one encoded segment.
    EXPECT_EQ(PercentEncodeSegment("13800138000"), "13800138000");
    EXPECT_EQ(PercentEncodeSegment("1 #?%/../~-_."), "1%20%23%3F%25%2F..%2F~-_.");
    EXPECT_EQ(PercentEncodeSegment("\xe6\x89\x8b"), "%E6%89%8B");
}

TEST_F(CodeFormTest, RefusedSmsRequestSaysWhyAndStartsNoCountdown) {
    struct Case {
        CodeForm form;
        int status;
        const char* reply;
        const wchar_t* prompt;
    } cases[] = {
        {CodeForm::kRegister, 200, "{\"ret\":400001}", L"该用户已注册过!"},
        {CodeForm::kForgot, 200, "{\"ret\":400002}", L"用户不存在!"},
        {CodeForm::kRegister, 429, "{\"ret\":600004}", L"获取验证码过于频繁,请稍后再试!"},
        {CodeForm::kForgot, 429, "{\"ret\":600004}", L"获取验证码过于频繁,请稍后再试!"},
        // Each refusal belongs to its own form only.
        {CodeForm::kForgot, 200, "{\"ret\":400001}", L"验证码发送失败!"},
        {CodeForm::kRegister, 200, "{\"ret\":400002}", L"验证码发送失败!"},
        {CodeForm::kRegister, 503, "{\"ret\":100500}", L"验证码发送失败!"},
        {CodeForm::kForgot, 500, "{\"ret\":0}", L"验证码发送失败!"},
        {CodeForm::kRegister, 200, "<html>proxy</html>", L"验证码发送失败!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        sms_status_ = c.status;
        sms_reply_ = c.reply;
        VerifyCodeCountdown countdown;
        int timer_starts = 0;
        CodeButtonResult result = ClickCodeButton(c.form, L"13800000000", countdown,
                                                  [&](const std::wstring&) { ++timer_starts; });
        EXPECT_TRUE(result.requested);
        EXPECT_EQ(result.prompt, c.prompt);
        EXPECT_FALSE(countdown.running());
        EXPECT_FALSE(countdown.requesting()) << "the button is free again";
        EXPECT_EQ(timer_starts, 0);
    }
}

TEST_F(CodeFormTest, NoSecondRequestWhileTheFirstIsOut) {
    VerifyCodeCountdown countdown;
    ASSERT_TRUE(StartCodeButton(L"13800000000", countdown).requested);
    EXPECT_FALSE(StartCodeButton(L"13800000000", countdown).requested);
    EXPECT_EQ(StartCodeButton(L"", countdown).error_tip, L"手机号不能为空!");
    std::vector<std::wstring> timer_starts;
    FinishCodeRequest(countdown, L"", [&](const std::wstring& text) {
        timer_starts.push_back(text);
    });
    EXPECT_EQ(timer_starts, std::vector<std::wstring>{L"60 秒"});
    EXPECT_TRUE(countdown.running());
    EXPECT_FALSE(StartCodeButton(L"13800000000", countdown).requested);
}

TEST_F(CodeFormTest, FeedbackIsRefusedAfterLogout) {
    UserRecord record;
    record.mobilephone = "13800000000";
    UserInfo::Instance()->Set(record);
    EXPECT_EQ(CheckFeedbackInput(L"c", L"c", UserInfo::Instance()->LoggedIn()), L"");
    UserInfo::Instance()->ClearMobilephone();
    EXPECT_EQ(CheckFeedbackInput(L"c", L"c", UserInfo::Instance()->LoggedIn()),
              L"请先登录后进行反馈!");
}

} // namespace
} // namespace velquist
