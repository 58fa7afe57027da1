// What the service must withstand when it faces the internet on its own:
// slow clients, SMS pumping, forged log lines, a forged Host, odd files in
// the installers folder and lockouts aimed at someone else's account.
#include "http_api.h"
#include "log_text.h"
#include "raw_connection.h"
#include "ret_codes.h"
#include "service_fixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velquist::service::testing {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

std::string SmsPath(const std::string& phone) {
    return "/v1/smsnotify/register/" + phone;
}

class Exposure : public ServiceFixture {
  protected:
    // The service behind a proxy on 127.0.0.1 that names the client.
    void BehindProxy(ServiceOptions options) {
        options.trusted_proxies = {"127.0.0.1"};
        Restart(options);
    }
    HttpResult GetFrom(const std::string& client, const std::string& path) {
        return Result(client_->Get(path, {{"X-Forwarded-For", client}}));
    }
    HttpResult LoginFrom(const std::string& client, const std::string& phone,
                         const std::string& password) {
        return Result(
            client_->Post("/v1/login", {{"X-Forwarded-For", client}},
                          "{\"mobilephone\":\"" + phone + "\",\"password\":\"" + password + "\"}",
                          "application/json"));
    }
    static HttpResult Result(const httplib::Result& res) {
        HttpResult result;
        if (res) {
            result.status = res->status;
            result.body = res->body;
            ParseJsonText(result.body, &result.json);
        }
        return result;
    }
};

// --- slow clients -----------------------------------------------------------

TEST_F(Exposure, TwoHundredSlowClientsLeaveOrdinaryRequestsAnswered) {
    // 200 connections from ten addresses, each feeding its request one header
    // line at a time and never finishing it.
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < 200; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i % 10);
        slow.push_back(std::make_unique<RawConnection>(from, app_->port()));
        ASSERT_TRUE(slow.back()->connected()) << i;
        slow.back()->Send("GET /help HTTP/1.1\r\nHost: x\r\n");
    }
    std::atomic<bool> done{false};
    std::thread drip([&] {
        for (int line = 0; !done; ++line) {
            for (auto& conn : slow) {
                conn->Send("X-Slow-" + std::to_string(line) + ": 1\r\n");
            }
            std::this_thread::sleep_for(500ms);
        }
    });
    int answered = 0;
    for (int i = 0; i < 10; ++i) {
        httplib::Client client("127.0.0.1", app_->port());
        client.set_connection_timeout(2);
        client.set_read_timeout(2);
        const auto start = SteadyClock::now();
        auto res = i % 2 == 0 ? client.Get("/help")
                              : client.Post("/v1/upgrade_check", "{\"app_name\":\"Morvane\"}",
                                            "application/json");
        const auto took = SteadyClock::now() - start;
        EXPECT_TRUE(res && res->status == 200) << "request " << i;
        EXPECT_LT(took, 2s) << "request " << i;
        answered += res && res->status == 200 ? 1 : 0;
    }
    done = true;
    drip.join();
    EXPECT_EQ(answered, 10);
}

TEST_F(Exposure, ARequestNotInByTheDeadlineIsCut) {
    ServiceOptions options = options_;
    options.request_timeout_seconds = 1;
    Restart(options);
    RawConnection conn("127.0.0.3", app_->port());
    ASSERT_TRUE(conn.connected());
    ASSERT_TRUE(conn.Send("GET /help HTTP/1.1\r\n"));
    // Each line comes well within any per-read time-out; the whole request
    // still has to be in within one second.
    const auto start = SteadyClock::now();
    bool closed = false;
    std::string answer;
    for (int i = 0; i < 20 && !closed; ++i) {
        conn.Send("X-Line-" + std::to_string(i) + ": 1\r\n");
        answer += conn.ReadUntilClosed(200ms, &closed);
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(SteadyClock::now() - start, 3s);
    EXPECT_EQ(answer.rfind("HTTP/1.1 408", 0), 0u) << answer;
    EXPECT_EQ(Get("/help").status, 200);
}

TEST_F(Exposure, ConnectionsPerAddressAreCapped) {
    ServiceOptions options = options_;
    options.connections_per_address = 4;
    Restart(options);
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<RawConnection>("127.0.0.4", app_->port()));
        ASSERT_TRUE(held.back()->connected());
    }
    std::this_thread::sleep_for(100ms); // let the service see all four
    RawConnection fifth("127.0.0.4", app_->port());
    ASSERT_TRUE(fifth.connected());
    bool closed = false;
    const std::string refusal = fifth.ReadUntilClosed(2s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(refusal.rfind("HTTP/1.1 503", 0), 0u) << refusal;
    // Other addresses are served meanwhile, and a freed place can be taken.
    EXPECT_EQ(Get("/help").status, 200);
    held.pop_back();
    std::this_thread::sleep_for(100ms);
    RawConnection again("127.0.0.4", app_->port());
    ASSERT_TRUE(again.Send("GET /help HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(again.ReadUntilClosed(2s, &closed).rfind("HTTP/1.1 200", 0), 0u);
}

TEST(Lanes, OnlyTheQuickPathsStayOnTheEventThreads) {
    EXPECT_FALSE(IsHeavyPath("/help"));
    EXPECT_FALSE(IsHeavyPath("/help/audio"));
    EXPECT_FALSE(IsHeavyPath("/v1/upgrade_check"));
    for (const char* path : {"/v1/login", "/v1/%6Cogin", "//v1/login", "/v1/register",
                             "/download/x.run", "/help/../v1/login", "/nothing", ""}) {
        EXPECT_TRUE(IsHeavyPath(path)) << path;
    }
}

// --- SMS limits ---------------------------------------------------------------

TEST_F(Exposure, OneAddressGetsFiveCodesAnHour) {
    BehindProxy(options_);
    for (int i = 0; i < 5; ++i) {
        const HttpResult res = GetFrom("203.0.113.7", SmsPath("1390000000" + std::to_string(i)));
        EXPECT_EQ(res.ret(), kRetOk) << i;
    }
    const HttpResult sixth = GetFrom("203.0.113.7", SmsPath("13900000009"));
    EXPECT_EQ(sixth.status, 429);
    EXPECT_EQ(sixth.ret(), kRetCodeTooSoon);
    EXPECT_EQ(LastCodeFor(options_.outbox, "13900000009"), "");
    // Naming another address first does not help: the proxy's entry counts.
    EXPECT_EQ(GetFrom("198.51.100.1, 203.0.113.7", SmsPath("13900000009")).ret(), kRetCodeTooSoon);
    EXPECT_EQ(GetFrom("203.0.113.8", SmsPath("13900000009")).ret(), kRetOk);
    Advance(3600);
    EXPECT_EQ(GetFrom("203.0.113.7", SmsPath("13900000010")).ret(), kRetOk);
}

TEST_F(Exposure, ForwardedForFromAnUntrustedPeerIsIgnored) {
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(
            GetFrom("203.0.113." + std::to_string(i), SmsPath("1390000000" + std::to_string(i)))
                .ret(),
            kRetOk);
    }
    EXPECT_EQ(GetFrom("203.0.113.99", SmsPath("13900000009")).ret(), kRetCodeTooSoon);
}

TEST_F(Exposure, TheWholeServiceHasAnHourlyLimit) {
    ServiceOptions options = options_;
    options.sms_per_hour = 3;
    BehindProxy(options);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(
            GetFrom("203.0.113." + std::to_string(i), SmsPath("1370000000" + std::to_string(i)))
                .ret(),
            kRetOk);
    }
    EXPECT_EQ(GetFrom("203.0.113.50", SmsPath("13700000009")).ret(), kRetCodeTooSoon);
}

TEST_F(Exposure, OneNumberGetsTenCodesADay) {
    BehindProxy(options_);
    const std::string phone = "13600000001";
    for (int i = 0; i < 10; ++i) {
        // A fresh address each time: only the number's own cap may stop it.
        EXPECT_EQ(GetFrom("203.0.113." + std::to_string(i), SmsPath(phone)).ret(), kRetOk) << i;
        Advance(61);
    }
    const HttpResult eleventh = GetFrom("198.51.100.7", SmsPath(phone));
    EXPECT_EQ(eleventh.status, 429);
    EXPECT_EQ(eleventh.ret(), kRetCodeTooSoon);
    Advance(24 * 3600 - 10 * 61 + 1);
    EXPECT_EQ(GetFrom("198.51.100.7", SmsPath(phone)).ret(), kRetOk);
}

// --- logs -----------------------------------------------------------------------

TEST(LogText, PhoneNumbersAreMaskedAndEveryByteIsPrintable) {
    EXPECT_EQ(MaskDigitRuns("/v1/smsnotify/register/13800000001"),
              "/v1/smsnotify/register/138****0001");
    EXPECT_EQ(MaskDigitRuns("a1380000000123b 1234567 12345678"),
              "a138******0123b 1234567 123*5678");
    EXPECT_EQ(EscapeLogField("/x\ny\r\x1b\"\\ z\xE4\xB8\xAD"),
              "/x\\x0Ay\\x0D\\x1B\\x22\\x5C\\x20z\\xE4\\xB8\\xAD");
    EXPECT_EQ(LogField("/v1/smsnotify/forgot/13912345678\n"),
              "/v1/smsnotify/forgot/139****5678\\x0A");
}

// --- what it answers ------------------------------------------------------------

constexpr const char* kUpgradeBody = "{\"app_name\":\"Morvane\"}";

TEST_F(Exposure, TheHostHeaderNeverMakesTheDownloadUrl) {
    auto res = client_->Post("/v1/upgrade_check", {{"Host", "evil.example"}}, kUpgradeBody,
                             "application/json");
    ASSERT_TRUE(res);
    Json::Value json;
    ASSERT_TRUE(ParseJsonText(res->body, &json));
    EXPECT_EQ(json["data"]["download_url"].asString(),
              "http://127.0.0.1:" + std::to_string(app_->port()) + "/download/Velquist-1.0.1.run");

    ServiceOptions options = options_;
    options.public_url = "https://dl.example.com/velquist";
    Restart(options);
    res = client_->Post("/v1/upgrade_check", {{"Host", "evil.example"}}, kUpgradeBody,
                        "application/json");
    ASSERT_TRUE(res && ParseJsonText(res->body, &json));
    EXPECT_EQ(json["data"]["download_url"].asString(),
              "https://dl.example.com/velquist/download/Velquist-1.0.1.run");
}

TEST_F(Exposure, UpdateCheckPublishesSizeAndSha256OfTheInstaller) {
    HttpResult res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_FALSE(res.json["data"].isMember("sha256")) << "no installer file yet";
    const std::string installer = options_.installers + "/Velquist-1.0.1.run";
    WriteFile(installer, "abc");
    res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_EQ(res.json["data"]["size"].asInt64(), 3);
    EXPECT_EQ(res.json["data"]["sha256"].asString(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // A replaced file is worked out anew.
    WriteFile(installer + ".new", "");
    std::filesystem::rename(installer + ".new", installer);
    res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_EQ(res.json["data"]["size"].asInt64(), 0);
    EXPECT_EQ(res.json["data"]["sha256"].asString(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(res.json["data"]["app_version"].asString(), "1.0.1");
}

TEST_F(Exposure, InstallersFolderServesRegularFilesOnly) {
    WriteFile(dir_->path() + "/outside.txt", "not for download");
    WriteFile(options_.installers + "/real.run", "payload");
    std::filesystem::create_symlink(dir_->path() + "/outside.txt",
                                    options_.installers + "/out.run");
    std::filesystem::create_symlink("../outside.txt", options_.installers + "/up.run");
    std::filesystem::create_symlink("real.run", options_.installers + "/latest.run");
    ASSERT_EQ(::mkfifo((options_.installers + "/fifo.run").c_str(), 0600), 0);

    EXPECT_EQ(Get("/download/out.run").status, 404);
    EXPECT_EQ(Get("/download/up.run").status, 404);
    const auto start = SteadyClock::now();
    EXPECT_EQ(Get("/download/fifo.run").status, 404);
    EXPECT_EQ(Head("/download/fifo.run").status, 404);
    EXPECT_LT(SteadyClock::now() - start, 5s) << "a FIFO must not be waited on";
    // A link that stays inside the folder is fine.
    const HttpResult latest = Get("/download/latest.run");
    EXPECT_EQ(latest.status, 200);
    EXPECT_EQ(latest.body, "payload");
}

// --- lockout ----------------------------------------------------------------------

TEST_F(Exposure, WrongPasswordsFromOneAddressDoNotLockTheOwnerOut) {
    BehindProxy(options_);
    const std::string phone = "13500000001";
    RegisterUser(phone, "owner-pw");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(LoginFrom("203.0.113.66", phone, "guess").ret(), kRetWrongPassword);
    }
    EXPECT_EQ(LoginFrom("203.0.113.66", phone, "owner-pw").ret(), kRetAccountLocked);
    EXPECT_EQ(LoginFrom("198.51.100.20", phone, "owner-pw").ret(), kRetOk);
    // IPv6 neighbours in one /64 count as one address.
    for (int i = 0; i < 5; ++i) {
        LoginFrom("2001:db8:1:2::" + std::to_string(i + 1), phone, "guess");
    }
    EXPECT_EQ(LoginFrom("2001:db8:1:2::99", phone, "owner-pw").ret(), kRetAccountLocked);
    EXPECT_EQ(LoginFrom("2001:db8:1:3::1", phone, "owner-pw").ret(), kRetOk);
}

TEST_F(Exposure, GuessingSpreadOverManyAddressesLocksTheAccount) {
    BehindProxy(options_);
    const std::string phone = "13500000002";
    RegisterUser(phone, "owner-pw");
    ASSERT_EQ(LoginFrom("198.51.100.20", phone, "owner-pw").ret(), kRetOk);
    for (int address = 0; address < 4; ++address) {
        for (int i = 0; i < 5; ++i) {
            LoginFrom("203.0.113." + std::to_string(address), phone, "guess");
        }
    }
    // Twenty failures in all: locked for every new address (still 400004)...
    EXPECT_EQ(LoginFrom("203.0.113.200", phone, "owner-pw").ret(), kRetAccountLocked);
    EXPECT_EQ(LoginFrom("203.0.113.201", phone, "guess").ret(), kRetAccountLocked);
    // ...but not for the address the owner last logged in from.
    EXPECT_EQ(LoginFrom("198.51.100.20", phone, "owner-pw").ret(), kRetOk);
    Advance(15 * 60);
    EXPECT_EQ(LoginFrom("203.0.113.200", phone, "owner-pw").ret(), kRetOk);
}

// A number without an account is counted and locked the same way, so that
// 400004 does not tell which numbers are registered.
TEST_F(Exposure, LockoutAnswersAlikeWithAndWithoutAnAccount) {
    BehindProxy(options_);
    RegisterUser("13500000003", "owner-pw");
    const auto guesses = [this](const std::string& phone) {
        std::vector<int> rets;
        for (int address = 0; address < 5; ++address) {
            for (int i = 0; i < 6; ++i) {
                const std::string client = "203.0.113." + std::to_string(address);
                rets.push_back(LoginFrom(client, phone, "guess").ret());
            }
        }
        rets.push_back(LoginFrom("198.51.100.7", phone, "guess").ret());
        Advance(15 * 60);
        rets.push_back(LoginFrom("198.51.100.7", phone, "guess").ret());
        return rets;
    };
    const std::vector<int> registered = guesses("13500000003");
    const std::vector<int> unknown = guesses("13500000004");
    EXPECT_EQ(registered, unknown);
    // Five per address until twenty in all lock the number for every address.
    EXPECT_EQ(std::count(unknown.begin(), unknown.end(), kRetWrongPassword), 21);
    EXPECT_EQ(std::count(unknown.begin(), unknown.end(), kRetAccountLocked), 11);
}

} // namespace
} // namespace velquist::service::testing
