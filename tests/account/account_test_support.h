#pragma once

#include "account/user_info.h"
#include "loopback_server.h"
#include "net/http_client.h"
#include "net/service_url.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace velquist::testing {

// A loopback service with the login endpoint; the reply is set per test. Every test
// starts logged out and without a credential file.
class AccountServiceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override { HttpClient::ResetTimeouts(); }
    virtual void AddRoutes(httplib::Server&) {}

    static std::string AcceptedReply(const std::string& phone) {
        return "{\"ret\":0,\"data\":{\"id\":\"42\",\"mobilephone\":\"" + phone +
               "\",\"last_login_ip\":\"10.0.0.1\",\"last_login_time\":1700000000,"
               "\"register_time\":\"1600000000\"}}";
    }

    LoopbackServer server_;
    std::string login_reply_;
    std::atomic<int> login_status_{200};
    std::string login_body_;
    std::string login_timestamp_;
    std::atomic<int> login_requests_{0};
};

} // namespace velquist::testing
