#pragma once

#include "pg_cluster.h"
#include "service_app.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <httplib.h>
#include <json/value.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace velquist::service::testing {

// A fresh temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

struct HttpResult {
    int status = 0;
    std::string body;
    Json::Value json;
    int ret() const { return json["ret"].asInt(); }
};

bool ParseJsonText(const std::string& text, Json::Value* out);
// The code last sent to `phone` in an outbox file, or "" when none.
std::string LastCodeFor(const std::string& outbox, const std::string& phone);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// Runs post(i) for every i below n on threads of their own, all at once, and gives
// the "ret" each one got (-1 where none came back).
std::vector<int> RetsOfConcurrentPosts(int n, const std::function<int(int)>& post);
// Of racing registrations of one number with its one code, exactly one wins; the
// others are refused as a used code or an existing user.
void ExpectExactlyOneRegistrationWon(const std::vector<int>& rets);

// Options for a service that lives in `dir`, with the cheapest hash cost.
ServiceOptions TestOptions(const std::string& dir);

// What SQLite says of a database file: PRAGMA journal_mode, integrity_check.
std::string SqliteJournalMode(const std::string& path);
std::string SqliteIntegrityCheck(const std::string& path);

// The whole service in this process, on a free loopback port, with a clock
// the test moves by hand.
class ServiceFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Stops the service and starts it again on the same files with `options`.
    void Restart(const ServiceOptions& options);
    void StopService();

    HttpResult Post(const std::string& path, const std::string& body);
    HttpResult Get(const std::string& path);
    HttpResult Head(const std::string& path);
    HttpResult Send(const std::string& method, const std::string& path, const std::string& body);
    std::string RequestCode(const std::string& purpose, const std::string& phone);
    HttpResult Register(const std::string& phone, const std::string& password,
                        const std::string& code);
    HttpResult Forgot(const std::string& phone, const std::string& password,
                      const std::string& code);
    HttpResult Login(const std::string& phone, const std::string& password);
    // Registers `phone` through the SMS code; fails the test if it does not work.
    void RegisterUser(const std::string& phone, const std::string& password);
    void Advance(std::int64_t seconds) { *now_ += seconds; }

    std::unique_ptr<TempDir> dir_;
    ServiceOptions options_;
    std::shared_ptr<std::atomic<std::int64_t>> now_ =
        std::make_shared<std::atomic<std::int64_t>>(1'800'000'000);
    std::unique_ptr<ServiceApp> app_;
    std::thread server_thread_;
    std::unique_ptr<httplib::Client> client_;
};

} // namespace velquist::service::testing
