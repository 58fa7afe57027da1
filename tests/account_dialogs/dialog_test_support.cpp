#include "dialog_test_support.h"

#include "account/credential_store.h"
#include "account/user_info.h"
#include "net/http_client.h"
#include "net/service_url.h"
#include "request_thread.h"
#include "ui/control.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <chrono>

namespace velquist::testing {

using namespace std::chrono_literals;

int ServiceLog::Count(const std::string& prefix) {
    std::lock_guard lock(mutex);
    int count = 0;
    for (const std::string& path : paths) {
        count += path.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

bool TestMainWindow::Shows(const char* name) {
    ui::CControlUI* control = FindControl(QLatin1String(name));
    return control != nullptr && control->IsVisible();
}

QString TestMainWindow::Text(const char* name) {
    ui::CControlUI* control = FindControl(QLatin1String(name));
    return control != nullptr ? control->GetText() : QString();
}

void AccountDialogTest::SetUp() {
    HttpClient::SetTimeouts(2000ms, 1000ms);
    UserInfo::Instance()->Set(UserRecord{});
    DeleteCredentials();
    auto record = [this](const httplib::Request& req) {
        std::lock_guard lock(log_.mutex);
        log_.paths.push_back(req.path);
        log_.lastBody = req.body;
    };
    auto reply = [this](std::string* text, httplib::Response& res) {
        std::unique_lock hold(holdMutex_);
        holdReleased_.wait(hold, [this] { return !holdReplies_; });
        hold.unlock();
        std::lock_guard lock(replyMutex_);
        res.set_content(*text, "application/json");
    };
    httplib::Server& server = server_.server();
    server.Post("/v1/login", [=, this](const httplib::Request& req, httplib::Response& res) {
        record(req);
        reply(&loginReply_, res);
    });
    server.Post("/v1/register", [=, this](const httplib::Request& req, httplib::Response& res) {
        record(req);
        reply(&registerReply_, res);
    });
    server.Post("/v1/forgot", [=, this](const httplib::Request& req, httplib::Response& res) {
        record(req);
        reply(&forgotReply_, res);
    });
    server.Get(R"(/v1/smsnotify/(register|forgot)/.*)",
               [=, this](const httplib::Request& req, httplib::Response& res) {
                   record(req);
                   std::lock_guard lock(replyMutex_);
                   res.set_content(smsReply_, "application/json");
               });
    server_.Start();
    SetServiceBaseUrl(server_.BaseUrl());

    main_ = new TestMainWindow;
    ASSERT_NE(main_->Create(ui::kNoWindow, "main", ui::WS_OVERLAPPEDWINDOW | ui::WS_VISIBLE, 0),
              ui::kNoWindow);
}

void AccountDialogTest::TearDown() {
    ReleaseReplies();
    EXPECT_TRUE(RequestsSettle());
    HttpClient::ResetTimeouts();
    if (main_ != nullptr) {
        main_->Close(0);
        SpinUntil([this] { return !main_->IsWindow(); }, 1000);
        delete main_;
    }
}

void AccountDialogTest::SetReply(const std::string& path, const std::string& reply) {
    std::lock_guard lock(replyMutex_);
    if (path == "/v1/login") {
        loginReply_ = reply;
    } else if (path == "/v1/register") {
        registerReply_ = reply;
    } else if (path == "/v1/smsnotify") {
        smsReply_ = reply;
    } else {
        forgotReply_ = reply;
    }
}

void AccountDialogTest::HoldReplies() {
    std::lock_guard lock(holdMutex_);
    holdReplies_ = true;
}

void AccountDialogTest::ReleaseReplies() {
    {
        std::lock_guard lock(holdMutex_);
        holdReplies_ = false;
    }
    holdReleased_.notify_all();
}

bool RequestsSettle() {
    return SpinUntil([] { return AccountRequestsInFlight() == 0; }, 15000);
}

std::string AccountDialogTest::AcceptedLogin(const std::string& phone) {
    return "{\"ret\":0,\"data\":{\"id\":\"42\",\"mobilephone\":\"" + phone +
           "\",\"last_login_ip\":\"10.0.0.1\",\"last_login_time\":1700000000,"
           "\"register_time\":\"1600000000\"}}";
}

bool AccountDialogTest::LoggedOutLook() {
    return main_->Shows("login") && main_->Shows("separator") && main_->Shows("register") &&
           !main_->Shows("username");
}

bool AccountDialogTest::LoggedInLook(const QString& name) {
    return !main_->Shows("login") && !main_->Shows("separator") && !main_->Shows("register") &&
           main_->Shows("username") && main_->Text("username") == name;
}

} // namespace velquist::testing
