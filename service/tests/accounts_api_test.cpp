#include "database.h"
#include "ret_codes.h"
#include "service_fixture.h"
#include "validate.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace velquist::service::testing {
namespace {

constexpr const char* kPhone = "13800138000";

using SmsCodes = ServiceFixture;
using Registration = ServiceFixture;
using PasswordReset = ServiceFixture;
using LoginTest = ServiceFixture;

TEST_F(SmsCodes, CodeGoesToOutboxAndRepeatWithinAMinuteIsRefused) {
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(code.size(), 6u);
    EXPECT_TRUE(IsWellFormedCode(code));

    const HttpResult again = Get(std::string("/v1/smsnotify/register/") + kPhone);
    EXPECT_EQ(again.status, 429); // the dialog shows its send failure
    EXPECT_EQ(again.ret(), kRetCodeTooSoon);
    EXPECT_EQ(LastCodeFor(options_.outbox, kPhone), code); // nothing new sent

    Advance(60);
    const std::string second = RequestCode("register", kPhone);
    EXPECT_EQ(second.size(), 6u);
}

TEST_F(SmsCodes, AFailedSendLeavesNoCodeAndNoWait) {
    ServiceOptions options = options_;
    options.outbox = dir_->path() + "/outbox-folder";
    std::filesystem::create_directory(options.outbox); // cannot be appended to
    Restart(options);
    const HttpResult failed = Get(std::string("/v1/smsnotify/register/") + kPhone);
    EXPECT_EQ(failed.status, 503);
    EXPECT_EQ(Register(kPhone, "pw", "000000").ret(), kRetCodeUnusable);
    options.outbox = dir_->path() + "/outbox.txt";
    Restart(options);
    // No minute to wait: nothing was sent.
    EXPECT_EQ(RequestCode("register", kPhone).size(), 6u);
}

TEST_F(SmsCodes, InvalidPhoneIsRefusedWithoutSending) {
    for (const char* phone : {"1380013800", "1380013800a", "138001380001", "%2e%2e"}) {
        const HttpResult res = Get(std::string("/v1/smsnotify/register/") + phone);
        EXPECT_EQ(res.status, 400) << phone;
        EXPECT_EQ(res.ret(), kRetInvalidPhone) << phone;
    }
    EXPECT_EQ(ReadFile(options_.outbox), "");
}

TEST_F(Registration, CodeFromOutboxRegistersOnceOnly) {
    const std::string code = RequestCode("register", kPhone);
    const HttpResult res = Register(kPhone, "secret密码", code);
    EXPECT_EQ(res.status, 200);
    EXPECT_EQ(res.ret(), kRetOk) << res.body;
    EXPECT_TRUE(res.json["data"].isObject());

    EXPECT_EQ(Register(kPhone, "other", code).ret(), kRetUserExists);
    // No code is sent for a phone that is registered already.
    Advance(60);
    const HttpResult sms = Get(std::string("/v1/smsnotify/register/") + kPhone);
    EXPECT_EQ(sms.ret(), kRetUserExists);
    EXPECT_EQ(LastCodeFor(options_.outbox, kPhone), code);
}

TEST_F(Registration, CodeResultsFollowTheDialogTable) {
    EXPECT_EQ(Register(kPhone, "pw", "123456").ret(), kRetCodeUnusable); // none requested

    const std::string code = RequestCode("register", kPhone);
    const std::string wrong = code == "000000" ? "000001" : "000000";
    EXPECT_EQ(Register(kPhone, "pw", wrong).ret(), kRetCodeWrong);
    EXPECT_EQ(Register(kPhone, "pw", "12").ret(), kRetCodeWrong);
    Advance(299);
    EXPECT_EQ(Register(kPhone, "pw", code).ret(), kRetOk); // still inside five minutes
}

TEST_F(Registration, ExpiredCodeAnswersExpired) {
    const std::string code = RequestCode("register", kPhone);
    Advance(300);
    EXPECT_EQ(Register(kPhone, "pw", code).ret(), kRetCodeExpired);
}

TEST_F(Registration, TooManyWrongTriesBurnTheCode) {
    const std::string code = RequestCode("register", kPhone);
    const std::string wrong = code == "999999" ? "999998" : "999999";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Register(kPhone, "pw", wrong).ret(), kRetCodeWrong);
    }
    EXPECT_EQ(Register(kPhone, "pw", code).ret(), kRetCodeUnusable);
}

TEST_F(Registration, NewerCodeReplacesTheOlderOne) {
    const std::string first = RequestCode("register", kPhone);
    Advance(61);
    const std::string second = RequestCode("register", kPhone);
    if (first != second) {
        EXPECT_EQ(Register(kPhone, "pw", first).ret(), kRetCodeWrong);
    }
    EXPECT_EQ(Register(kPhone, "pw", second).ret(), kRetOk);
}

TEST_F(Registration, BadPhoneOrPasswordIsRefusedBeforeTheCode) {
    const std::string code = RequestCode("register", kPhone);
    EXPECT_EQ(Register("1380013800", "pw", code).ret(), kRetInvalidPhone);
    EXPECT_EQ(Register(kPhone, "", code).ret(), kRetInvalidPassword);
    EXPECT_EQ(Register(kPhone, std::string(33, 'p'), code).ret(), kRetInvalidPassword);
    // The refusals above did not use the code up.
    EXPECT_EQ(Register(kPhone, std::string(32, 'p'), code).ret(), kRetOk);
}

TEST_F(Registration, StoresOnlyArgon2idHashesAndNoPlainCodes) {
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(Register(kPhone, "Plain-Text-Pw", code).ret(), kRetOk);
    Database& db = app_->database();
    SqlRows users;
    ASSERT_EQ(db.Query("SELECT password_hash FROM users WHERE mobilephone = ?1",
                       {std::string(kPhone)}, &users),
              SqlResult::kOk);
    ASSERT_EQ(users.size(), 1u);
    const std::string hash = users[0].Text(0);
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
    EXPECT_EQ(hash.find("Plain-Text-Pw"), std::string::npos);
    SqlRows codes;
    ASSERT_EQ(db.Query("SELECT code_hash FROM sms_codes", {}, &codes), SqlResult::kOk);
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(codes[0].Text(0).size(), 32u);
    EXPECT_EQ(codes[0].Text(0).find(code), std::string::npos);
    if (!TestingPostgres()) {
        EXPECT_EQ(SqliteJournalMode(options_.database), "wal");
    }
}

TEST_F(Registration, ConcurrentRegistrationsOfOnePhoneLeaveOneAccount) {
    // Two codes cannot exist for one phone, so race two submissions of the
    // same valid code: exactly one may win.
    const std::string code = RequestCode("register", kPhone);
    const std::string body = "{\"mobilephone\":\"" + std::string(kPhone) +
                             "\",\"password\":\"pw\",\"code\":\"" + code + "\"}";
    ExpectExactlyOneRegistrationWon(RetsOfConcurrentPosts(4, [this, &body](int) {
        httplib::Client client("127.0.0.1", app_->port());
        auto res = client.Post("/v1/register", body, "application/json");
        Json::Value json;
        return res && ParseJsonText(res->body, &json) ? json["ret"].asInt() : -1;
    }));
}

TEST_F(PasswordReset, UnknownUserAndCodeResults) {
    EXPECT_EQ(Forgot(kPhone, "new", "123456").ret(), kRetUnknownUser);
    const HttpResult sms = Get(std::string("/v1/smsnotify/forgot/") + kPhone);
    EXPECT_EQ(sms.ret(), kRetUnknownUser);
    EXPECT_EQ(ReadFile(options_.outbox), "");

    RegisterUser(kPhone, "old");
    Advance(60);
    EXPECT_EQ(Forgot(kPhone, "new", "123456").ret(), kRetCodeUnusable);
    const std::string code = RequestCode("forgot", kPhone);
    ASSERT_EQ(code.size(), 6u);
    Advance(300);
    EXPECT_EQ(Forgot(kPhone, "new", code).ret(), kRetCodeExpired);
}

TEST_F(PasswordReset, NewPasswordReplacesOldAndCodeIsSingleUse) {
    RegisterUser(kPhone, "old");
    Advance(60);
    const std::string code = RequestCode("forgot", kPhone);
    EXPECT_EQ(Forgot(kPhone, "new", code).ret(), kRetOk);
    EXPECT_EQ(Forgot(kPhone, "newer", code).ret(), kRetCodeUnusable);
    EXPECT_EQ(Login(kPhone, "old").ret(), kRetWrongPassword);
    EXPECT_EQ(Login(kPhone, "new").ret(), kRetOk);
}

TEST_F(PasswordReset, RegisterCodeDoesNotResetAPassword) {
    // A code is bound to its purpose.
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(Register(kPhone, "pw", code).ret(), kRetOk);
    EXPECT_EQ(Forgot(kPhone, "stolen", code).ret(), kRetCodeUnusable);
}

TEST_F(LoginTest, AnswersTheUserRecordWithPreviousLogin) {
    RegisterUser(kPhone, "pw");
    const HttpResult first = Login(kPhone, "pw");
    ASSERT_EQ(first.ret(), kRetOk) << first.body;
    const Json::Value& data = first.json["data"];
    for (const char* key :
         {"id", "mobilephone", "last_login_ip", "last_login_time", "register_time"}) {
        EXPECT_TRUE(data.isMember(key)) << key;
    }
    // The program reads each member as text and converts numbers with stoi.
    EXPECT_GT(std::stoi(data["id"].asString()), 0);
    EXPECT_EQ(data["mobilephone"].asString(), kPhone);
    EXPECT_EQ(data["last_login_time"].asString(), "0");
    EXPECT_EQ(std::stoll(data["register_time"].asString()), 1'800'000'000);

    Advance(10);
    const HttpResult second = Login(kPhone, "pw");
    EXPECT_EQ(second.json["data"]["last_login_ip"].asString(), "127.0.0.1");
    EXPECT_EQ(second.json["data"]["last_login_time"].asInt64(), 1'800'000'000);
}

TEST_F(LoginTest, WrongPasswordAndUnknownUserLookTheSame) {
    RegisterUser(kPhone, "pw");
    EXPECT_EQ(Login(kPhone, "PW").ret(), kRetWrongPassword);
    EXPECT_EQ(Login("13900139000", "pw").ret(), kRetWrongPassword);
    EXPECT_EQ(Login(kPhone, std::string(33, 'x')).ret(), kRetInvalidPassword);
    EXPECT_EQ(Login("1390013900", "pw").ret(), kRetInvalidPhone);
}

TEST_F(LoginTest, RepeatedFailuresLockTheAccountEvenForTheRightPassword) {
    RegisterUser(kPhone, "pw");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Login(kPhone, "wrong").ret(), kRetWrongPassword);
    }
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetAccountLocked);
    EXPECT_EQ(Login(kPhone, "wrong").ret(), kRetAccountLocked);
    Advance(15 * 60 - 1);
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetAccountLocked);
    Advance(1);
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetOk);
}

TEST_F(LoginTest, SuccessResetsTheFailureCount) {
    RegisterUser(kPhone, "pw");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Login(kPhone, "wrong").ret(), kRetWrongPassword);
    }
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetOk);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Login(kPhone, "wrong").ret(), kRetWrongPassword);
    }
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetOk);
}

TEST_F(LoginTest, ParallelWrongPasswordsCannotOutrunTheLockout) {
    RegisterUser(kPhone, "pw");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this] {
            httplib::Client client("127.0.0.1", app_->port());
            for (int i = 0; i < 5; ++i) {
                client.Post("/v1/login",
                            "{\"mobilephone\":\"" + std::string(kPhone) +
                                "\",\"password\":\"bad\"}",
                            "application/json");
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetAccountLocked);
}

TEST_F(LoginTest, ResetLiftsTheLock) {
    RegisterUser(kPhone, "pw");
    for (int i = 0; i < 5; ++i) {
        Login(kPhone, "wrong");
    }
    ASSERT_EQ(Login(kPhone, "pw").ret(), kRetAccountLocked);
    Advance(60);
    const std::string code = RequestCode("forgot", kPhone);
    ASSERT_EQ(Forgot(kPhone, "fresh", code).ret(), kRetOk);
    EXPECT_EQ(Login(kPhone, "fresh").ret(), kRetOk);
}

TEST_F(LoginTest, RaisedHashCostReachesOldAccountsAtLogin) {
    RegisterUser(kPhone, "pw");
    ServiceOptions stronger = options_;
    stronger.hash_memory_bytes = 256 * 1024;
    Restart(stronger);
    ASSERT_EQ(Login(kPhone, "pw").ret(), kRetOk);
    SqlRows users;
    ASSERT_EQ(app_->database().Query("SELECT password_hash FROM users", {}, &users),
              SqlResult::kOk);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_NE(users[0].Text(0).find("m=256,"), std::string::npos) << users[0].Text(0);
}

TEST_F(LoginTest, QuoteInPasswordGivesAFailureNotACrash) {
    // The program splices the password into its body unescaped.
    RegisterUser(kPhone, "pw");
    const HttpResult res = Login(kPhone, "a\"b");
    EXPECT_EQ(res.status, 200);
    EXPECT_NE(res.ret(), kRetOk);
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetOk);
}

} // namespace
} // namespace velquist::service::testing
