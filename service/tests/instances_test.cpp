// Two service instances on one PostgreSQL database must behave as one.
#include "ret_codes.h"
#include "service_fixture.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace velquist::service::testing {
namespace {

constexpr const char* kPhone = "13800138000";

class TwoInstances : public ServiceFixture {
  protected:
    void SetUp() override {
        if (!TestingPostgres()) {
            GTEST_SKIP() << "two instances share a database only on PostgreSQL "
                            "(VELQUIST_TEST_BACKEND=postgresql)";
        }
        ServiceFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        other_dir_ = std::make_unique<TempDir>();
        ServiceOptions options = TestOptions(other_dir_->path());
        options.database = options_.database;
        other_ = std::make_unique<ServiceApp>();
        auto now = now_;
        std::string error;
        ASSERT_TRUE(other_->Open(
            options, [now] { return now->load(); }, &error))
            << error;
        other_thread_ = std::thread([this] { other_->Serve(); });
        other_outbox_ = options.outbox;
    }
    void TearDown() override {
        if (other_) {
            other_->Stop();
            other_thread_.join();
            other_.reset();
        }
        ServiceFixture::TearDown();
    }
    int PortOf(int instance) const { return instance == 0 ? app_->port() : other_->port(); }
    int RetOf(int instance, const std::string& method, const std::string& path,
              const std::string& body = "") {
        httplib::Client client("127.0.0.1", PortOf(instance));
        client.set_read_timeout(10);
        auto res = method == "GET" ? client.Get(path) : client.Post(path, body, "application/json");
        Json::Value json;
        return res && ParseJsonText(res->body, &json) ? json["ret"].asInt() : -1;
    }
    std::string LoginBody(const std::string& password) {
        return "{\"mobilephone\":\"" + std::string(kPhone) + "\",\"password\":\"" + password +
               "\"}";
    }

    std::unique_ptr<TempDir> other_dir_;
    std::unique_ptr<ServiceApp> other_;
    std::thread other_thread_;
    std::string other_outbox_;
};

TEST_F(TwoInstances, ConcurrentRegistrationsOnBothLeaveExactlyOneAccount) {
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(code.size(), 6u);
    const std::string body = "{\"mobilephone\":\"" + std::string(kPhone) +
                             "\",\"password\":\"pw\",\"code\":\"" + code + "\"}";
    ExpectExactlyOneRegistrationWon(RetsOfConcurrentPosts(
        8, [this, &body](int i) { return RetOf(i % 2, "POST", "/v1/register", body); }));
    SqlRows rows;
    ASSERT_EQ(app_->database().Query("SELECT COUNT(*) FROM users", {}, &rows), SqlResult::kOk);
    EXPECT_EQ(rows[0].Int(0), 1);
}

TEST_F(TwoInstances, ACodeFromOneInstanceRegistersOnTheOther) {
    ASSERT_EQ(RetOf(1, "GET", std::string("/v1/smsnotify/register/") + kPhone), kRetOk);
    const std::string code = LastCodeFor(other_outbox_, kPhone);
    // The resend interval holds across instances too.
    EXPECT_EQ(RetOf(0, "GET", std::string("/v1/smsnotify/register/") + kPhone), kRetCodeTooSoon);
    EXPECT_EQ(Register(kPhone, "pw", code).ret(), kRetOk);
    EXPECT_EQ(RetOf(1, "POST", "/v1/login", LoginBody("pw")), kRetOk);
}

TEST_F(TwoInstances, FailuresOnBothInstancesCountTowardsOneLockout) {
    RegisterUser(kPhone, "pw");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(RetOf(i % 2, "POST", "/v1/login", LoginBody("wrong")), kRetWrongPassword) << i;
    }
    EXPECT_EQ(RetOf(0, "POST", "/v1/login", LoginBody("pw")), kRetAccountLocked);
    EXPECT_EQ(RetOf(1, "POST", "/v1/login", LoginBody("pw")), kRetAccountLocked);
}

TEST_F(TwoInstances, ParallelGuessesOnBothCannotOutrunTheLockout) {
    RegisterUser(kPhone, "pw");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 5; ++i) {
                RetOf(t % 2, "POST", "/v1/login", LoginBody("bad"));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(RetOf(0, "POST", "/v1/login", LoginBody("pw")), kRetAccountLocked);
    EXPECT_EQ(RetOf(1, "POST", "/v1/login", LoginBody("pw")), kRetAccountLocked);
}

TEST_F(TwoInstances, SmsLimitsCountTheCodesOfBoth) {
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(RetOf(i % 2, "GET", "/v1/smsnotify/register/1390000000" + std::to_string(i)),
                  kRetOk)
            << i;
    }
    EXPECT_EQ(RetOf(0, "GET", "/v1/smsnotify/register/13900000008"), kRetCodeTooSoon);
    EXPECT_EQ(RetOf(1, "GET", "/v1/smsnotify/register/13900000009"), kRetCodeTooSoon);
}

TEST_F(TwoInstances, FeedbackFromBothLandsInOneTable) {
    EXPECT_EQ(RetOf(0, "POST", "/v1/feedback", R"({"contact":"a","content":"one"})"), kRetOk);
    EXPECT_EQ(RetOf(1, "POST", "/v1/feedback", R"({"contact":"b","content":"two"})"), kRetOk);
    SqlRows rows;
    ASSERT_EQ(app_->database().Query("SELECT content FROM feedback ORDER BY id", {}, &rows),
              SqlResult::kOk);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Text(0), "one");
    EXPECT_EQ(rows[1].Text(0), "two");
}

} // namespace
} // namespace velquist::service::testing
