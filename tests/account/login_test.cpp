#include "account/account_forms.h"
#include "account/auto_login.h"
#include "account/credential_store.h"
#include "account/login.h"
#include "account_test_support.h"
#include "net/feedback.h"
#include "support/output_capture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <json/json.h>
#include <set>
#include <thread>
#include <vector>

namespace velquist {
namespace {

namespace fs = std::filesystem;

TEST(LoginBody, OrdinaryInputKeepsItsBytes) {
    EXPECT_EQ(BuildLoginBody("13800000000", "secret"),
              "{\"mobilephone\":\"13800000000\",\"password\":\"secret\"}");
    EXPECT_EQ(BuildLoginBody("1", "\xe5\xaf\x86"),
              "{\"mobilephone\":\"1\",\"password\":\"\xe5\xaf\x86\"}");
}

TEST(LoginBody, QuotesAndBackslashesCannotAddMembers) {
    const std::string password = "x\",\"admin\":true,\"y\":\"\\\n";
    Json::Value parsed;
    ASSERT_TRUE(Json::Reader().parse(BuildLoginBody("13800000000", password), parsed));
    EXPECT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed["password"].asString(), password);
    EXPECT_EQ(parsed["mobilephone"].asString(), "13800000000");
}

TEST(LoginInput, ChecksInTheDialogsOrder) {
    const std::wstring pw32(32, L'p');
    EXPECT_EQ(CheckLoginInput(L"", L""), L"手机号不能为空!");
    EXPECT_EQ(CheckLoginInput(L"1380000000", L"x"), L"非法的手机号!") << "ten digits";
    EXPECT_EQ(CheckLoginInput(L"1380000000a", L"x"), L"手机号只能为数字!");
    EXPECT_EQ(CheckLoginInput(L" 13800000000", L"x"), L"非法的手机号!");
    EXPECT_EQ(CheckLoginInput(L"1380000000 ", L"x"), L"手机号只能为数字!");
    EXPECT_EQ(CheckLoginInput(L"1380000000\U0001F600", L"x"), L"非法的手机号!")
        << "a character outside the BMP is two UTF-16 units";
    EXPECT_EQ(CheckLoginInput(L"13800000000", L""), L"密码不能为空!");
    EXPECT_EQ(CheckLoginInput(L"13800000000", pw32), L"");
    EXPECT_EQ(CheckLoginInput(L"13800000000", pw32 + L"p"), L"密码不能超过32位!");
}

TEST(UserInfoInstance, ConcurrentFirstCallsShareOneRecord) {
    std::vector<UserInfo*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = UserInfo::Instance(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(std::set<UserInfo*>(seen.begin(), seen.end()).size(), 1u);
}

class ManualLoginTest : public testing::AccountServiceTest {};

TEST_F(ManualLoginTest, AcceptedLoginFillsTheUserAndWritesTheFile) {
    login_reply_ = AcceptedReply("13800000000");
    ASSERT_TRUE(SaveCredentials("13800000000", "before"));
    velquist::test::CaptureStdout();
    // The window hears of the login before the save, which may wait on the keyring.
    std::string file_when_told;
    bool user_when_told = false;
    ManualLoginResult result = ManualLogin(L"13800000000", L"secret", {}, [&] {
        file_when_told = LoadCredentials().value_or("");
        user_when_told = UserInfo::Instance()->LoggedIn();
    });
    std::string out = velquist::test::TakeCapturedStdout();
    EXPECT_EQ(result.step, ManualLoginResult::Step::kLoggedIn);
    EXPECT_TRUE(user_when_told);
    EXPECT_EQ(file_when_told, CredentialPlaintext("13800000000", "before"));
    EXPECT_EQ(UserInfo::Instance()->mobilephone(), "13800000000");
    EXPECT_EQ(LoadCredentials().value_or(""), CredentialPlaintext("13800000000", "secret"))
        << "the file is replaced";
    EXPECT_EQ(login_body_, "{\"mobilephone\":\"13800000000\",\"password\":\"secret\"}");
    EXPECT_FALSE(login_timestamp_.empty());
    // The reply carries the number and the address it was sent from: none of it is printed.
    EXPECT_EQ(out.find("ret"), std::string::npos) << out;
    EXPECT_EQ(out.find("10.0.0.1"), std::string::npos) << out;
    EXPECT_EQ(out.find("13800000000"), std::string::npos) << out;
    EXPECT_EQ(CheckFeedbackInput(L"c", L"c", UserInfo::Instance()->LoggedIn()), L"");
}

TEST_F(ManualLoginTest, LogoutDeletesTheFileAndFeedbackIsRefusedAfterwards) {
    login_reply_ = AcceptedReply("13800000000");
    velquist::test::CaptureStdout();
    ASSERT_EQ(ManualLogin(L"13800000000", L"secret").step, ManualLoginResult::Step::kLoggedIn);
    velquist::test::TakeCapturedStdout();
    ASSERT_TRUE(LoadCredentials().has_value());

    LogoutAccount();

    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_FALSE(LoadCredentials().has_value());
    EXPECT_NE(CheckFeedbackInput(L"content", L"contact", UserInfo::Instance()->LoggedIn()), L"");
}

TEST_F(ManualLoginTest, FailuresShowTheirMessagesAndChangeNothing) {
    struct Case {
        std::string reply;
        const wchar_t* message;
    } cases[] = {
        {"{\"ret\":1}", L"账号或密码错误!"},
        {"{\"ret\":\"400003\"}", L"账号或密码错误!"},
        // Without the service's verdict the account is not to blame.
        {"<html>oops</html>", kNetworkFailureText},
        {"{}", kNetworkFailureText},
        {std::string(5000, '[') + std::string(5000, ']'), kNetworkFailureText},
        {"{\"ret\":{\"code\":0}}", kNetworkFailureText},
        {"{\"ret\":0,\"data\":{\"id\":1,\"mobilephone\":{\"n\":1},\"last_login_ip\":\"\","
         "\"last_login_time\":1,\"register_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":{\"id\":[1],\"mobilephone\":\"1\",\"last_login_ip\":[],"
         "\"last_login_time\":1,\"register_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":[{\"id\":1}]}", L"未知错误!"},
        {"{\"ret\":0,\"data\":{\"id\":\"12abc\",\"mobilephone\":\"1\",\"last_login_ip\":\"\","
         "\"last_login_time\":1,\"register_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":{\"id\":1,\"mobilephone\":\"1\",\"last_login_ip\":\"\","
         "\"last_login_time\":\"\",\"register_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":{\"id\":1,\"mobilephone\":\"1\",\"last_login_ip\":\"\","
         "\"last_login_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":\"nothing\"}", L"未知错误!"},
        // Without the number the session would look logged in and be logged out.
        {"{\"ret\":0,\"data\":{\"id\":1,\"last_login_ip\":\"\",\"last_login_time\":1,"
         "\"register_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":{\"id\":1,\"mobilephone\":\"\",\"last_login_ip\":\"\","
         "\"last_login_time\":1,\"register_time\":1}}",
         L"未知错误!"},
        {"{\"ret\":0,\"data\":{\"id\":1,\"mobilephone\":null,\"last_login_ip\":\"\","
         "\"last_login_time\":1,\"register_time\":1}}",
         L"未知错误!"},
    };
    UserRecord before;
    before.id = 7;
    before.mobilephone = "13900000000";
    for (const Case& c : cases) {
        UserInfo::Instance()->Set(before);
        login_reply_ = c.reply;
        ManualLoginResult result = ManualLogin(L"13800000000", L"secret");
        EXPECT_EQ(result.step, ManualLoginResult::Step::kError) << c.reply;
        EXPECT_EQ(result.error, c.message) << c.reply;
        EXPECT_EQ(UserInfo::Instance()->Get().id, 7) << c.reply;
        EXPECT_EQ(UserInfo::Instance()->mobilephone(), "13900000000") << c.reply;
    }
    EXPECT_FALSE(fs::exists(CredentialFilePath()));
}

TEST_F(ManualLoginTest, UnreachableServiceAndLocalChecksSendNothingUseful) {
    ManualLoginResult invalid = ManualLogin(L"1380000000", L"secret");
    EXPECT_EQ(invalid.error, L"非法的手机号!");
    ManualLoginResult long_password = ManualLogin(L"13800000000", std::wstring(33, L'x'));
    EXPECT_EQ(long_password.error, L"密码不能超过32位!");
    EXPECT_EQ(login_requests_, 0);

    login_reply_ = AcceptedReply("13800000000");
    EXPECT_EQ(ManualLogin(L"13800000000", std::wstring(32, L'x')).step,
              ManualLoginResult::Step::kLoggedIn);
    EXPECT_EQ(login_requests_, 1);

    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    EXPECT_EQ(ManualLogin(L"13800000000", L"secret").error, kNetworkFailureText);
}

// The service answers refusals such as a locked account with an error status: the
// envelope still says what happened. Success needs the whole transfer.
TEST_F(ManualLoginTest, AnErrorStatusIsJudgedByItsEnvelope) {
    login_status_ = 429;
    login_reply_ = "{\"ret\":400004}";
    EXPECT_EQ(ManualLogin(L"13800000000", L"secret").error, L"账号或密码错误!");
    login_status_ = 503;
    login_reply_ = AcceptedReply("13800000000");
    EXPECT_EQ(ManualLogin(L"13800000000", L"secret").error, kNetworkFailureText);
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
}

TEST_F(ManualLoginTest, AnAnswerNobodyWaitsForChangesNothing) {
    login_reply_ = AcceptedReply("13800000000");
    int asked = 0;
    ManualLoginResult result = ManualLogin(L"13800000000", L"secret", [&asked] {
        ++asked;
        return false;
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(login_requests_, 1) << "asked once the service has answered";
    EXPECT_EQ(result.step, ManualLoginResult::Step::kAbandoned);
    EXPECT_FALSE(result.LoggedIn());
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_FALSE(fs::exists(CredentialFilePath()));
}

TEST_F(ManualLoginTest, UnwritableCredentialFileIsReportedButTheLoginHolds) {
    login_reply_ = AcceptedReply("13800000000");
    fs::create_directories(CredentialFilePath());
    velquist::test::CaptureStdout();
    ManualLoginResult result = ManualLogin(L"13800000000", L"secret");
    std::string out = velquist::test::TakeCapturedStdout();
    fs::remove(CredentialFilePath());
    EXPECT_EQ(result.step, ManualLoginResult::Step::kSaveFailed);
    EXPECT_EQ(result.error, kSaveFailedText);
    EXPECT_TRUE(result.LoggedIn());
    EXPECT_NE(out.find("open file error\n"), std::string::npos);
    EXPECT_TRUE(UserInfo::Instance()->LoggedIn()) << "the record was already filled";
}

} // namespace
} // namespace velquist
