#include "account_test_support.h"

#include "account/credential_store.h"

namespace velquist::testing {

using namespace std::chrono_literals;

void AccountServiceTest::SetUp() {
    HttpClient::SetTimeouts(2000ms, 1000ms);
    UserInfo::Instance()->Set(UserRecord{});
    DeleteCredentials();
    server_.server().Post("/v1/login", [this](const httplib::Request& req, httplib::Response& res) {
        ++login_requests_;
        login_body_ = req.body;
        login_timestamp_ = req.get_param_value("timestamp");
        res.status = login_status_;
        res.set_content(login_reply_, "application/json");
    });
    AddRoutes(server_.server());
    server_.Start();
    SetServiceBaseUrl(server_.BaseUrl());
}

} // namespace velquist::testing
