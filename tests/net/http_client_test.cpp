#include "config/config_file.h"
#include "loopback_server.h"
#include "net/http_client.h"
#include "net/httpdownload.h"
#include "net/service_url.h"
#include "support/output_capture.h"
#include "tls_certificate.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velquist {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;

class HttpClientTest : public ::testing::Test {
  protected:
    void SetUp() override { HttpClient::SetTimeouts(2000ms, 1000ms); }
    void TearDown() override { HttpClient::ResetTimeouts(); }

    int Post(const std::string& path, const std::string& body, std::string* response) {
        return HttpClient::Instance()->PostJson(body, server_.BaseUrl() + path, response);
    }

    LoopbackServer server_;
};

TEST_F(HttpClientTest, SuccessNeedsA2xxStatusAndABody) {
    auto& s = server_.server();
    s.Post("/ok", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("{\"ret\":0}", "application/json");
    });
    s.Post("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
    s.Post("/nocontent", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    s.Post("/moved",
           [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/ok"); });
    s.Post("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("{\"ret\":404}", "application/json");
    });
    s.Post("/broken", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("{\"ret\":500}", "application/json");
    });
    server_.Start();

    std::string ok;
    EXPECT_EQ(Post("/ok", "{}", &ok), 0);
    EXPECT_EQ(ok, "{\"ret\":0}");
    std::string empty;
    EXPECT_EQ(Post("/empty", "{}", &empty), -1);
    std::string nocontent;
    EXPECT_EQ(Post("/nocontent", "{}", &nocontent), -1);
    std::string moved;
    EXPECT_EQ(Post("/moved", "{}", &moved), -1) << "redirects are not followed";
    std::string missing;
    EXPECT_EQ(Post("/missing", "{}", &missing), -1);
    EXPECT_EQ(missing, "{\"ret\":404}") << "a failing reply's body stays with the caller";
    EXPECT_EQ(HttpClient::LastStatus(), 404) << "an answer, though a failing one";
    std::string broken;
    EXPECT_EQ(Post("/broken", "{}", &broken), -1);
    EXPECT_EQ(broken, "{\"ret\":500}");
}

TEST_F(HttpClientTest, GetJudgesRepliesLikePost) {
    auto& s = server_.server();
    s.Get("/v1/smsnotify/register/13800000000",
          [](const httplib::Request&, httplib::Response& res) {
              res.set_content("{\"ret\":0}", "application/json");
          });
    s.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
    s.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/"); });
    server_.Start();

    std::string ok;
    EXPECT_EQ(
        HttpClient::Instance()->Get(server_.BaseUrl() + "/v1/smsnotify/register/13800000000", &ok),
        0);
    EXPECT_EQ(ok, "{\"ret\":0}");
    std::string empty;
    EXPECT_EQ(HttpClient::Instance()->Get(server_.BaseUrl() + "/empty", &empty), -1);
    std::string moved;
    EXPECT_EQ(HttpClient::Instance()->Get(server_.BaseUrl() + "/moved", &moved), -1);
    std::string unknown;
    EXPECT_EQ(HttpClient::Instance()->Get(server_.BaseUrl() + "/nowhere", &unknown), -1);
}

TEST_F(HttpClientTest, SendsTheJsonHeadersAndTheBodyByteForByte) {
    std::string seen_body;
    std::string seen_accept;
    std::string seen_type;
    server_.server().Post("/echo", [&](const httplib::Request& req, httplib::Response& res) {
        seen_body = req.body;
        seen_accept = req.get_header_value("Accept");
        seen_type = req.get_header_value("Content-Type");
        res.set_content("{}", "application/json");
    });
    server_.Start();

    // GBK-like bytes and UTF-8 alike pass untouched; the client never re-encodes.
    const std::string body = "{\"content\":\"\xe4\xb8\xad\xe6\x96\x87 \xb0\xa1\"}";
    std::string response;
    ASSERT_EQ(Post("/echo", body, &response), 0);
    EXPECT_EQ(seen_body, body);
    EXPECT_EQ(seen_accept, "application/json");
    EXPECT_EQ(seen_type, "application/json;charset=UTF-8");
}

TEST_F(HttpClientTest, PrintsTheCurlCodeLineAfterEveryPost) {
    server_.server().Post("/ok", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("{}", "application/json");
    });
    server_.Start();
    velquist::test::CaptureStdout();
    std::string response;
    Post("/ok", "{}", &response);
    std::string refused_response;
    HttpClient::Instance()->PostJson(
        "{}", "http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()) + "/",
        &refused_response);
    std::string out = velquist::test::TakeCapturedStdout();
    EXPECT_NE(out.find("curl code:0,strerror:No error\n"), std::string::npos) << out;
    EXPECT_NE(out.find("curl code:7,strerror:"), std::string::npos) << out;
}

TEST_F(HttpClientTest, RefusedConnectionAndTimeOutFail) {
    std::string refused;
    std::string url = "http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()) + "/x";
    EXPECT_EQ(HttpClient::Instance()->PostJson("{}", url, &refused), -1);
    EXPECT_EQ(HttpClient::LastStatus(), 0) << "no answer at all";
    EXPECT_EQ(HttpClient::Instance()->Get(url, &refused), -1);

    // The answer waits until the client has given up; a client that never gives up gets
    // it after a long while, and the post succeeds where it must fail.
    auto gaveUp = std::make_shared<std::atomic<bool>>(false);
    server_.server().Post("/slow", [gaveUp](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 3000 && !*gaveUp; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        res.set_content("{}", "application/json");
    });
    server_.Start();
    HttpClient::SetTimeouts(300ms, 300ms);
    std::string slow;
    EXPECT_EQ(Post("/slow", "{}", &slow), -1);
    *gaveUp = true;
}

TEST(HttpClientTls, UntrustedCertificateGetsNoPassword) {
    HttpClient::SetTimeouts(3000ms, 2000ms);
    std::string dir = std::string(getenv("XDG_DATA_HOME")) + "/tls";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(testing::WriteSelfSignedCertificate(dir + "/cert.pem", dir + "/key.pem"));
    auto tls = std::make_unique<httplib::SSLServer>((dir + "/cert.pem").c_str(),
                                                    (dir + "/key.pem").c_str());
    ASSERT_TRUE(tls->is_valid());
    std::atomic<int> reached{0};
    tls->Post("/v1/login", [&](const httplib::Request&, httplib::Response& res) {
        ++reached;
        res.set_content("{\"ret\":0}", "application/json");
    });
    tls->Get("/setup.exe", [&](const httplib::Request&, httplib::Response& res) {
        ++reached;
        res.set_content("installer", "application/octet-stream");
    });
    LoopbackServer server(std::move(tls));
    server.Start();

    velquist::test::CaptureStdout();
    std::string response;
    int result = HttpClient::Instance()->PostJson("{\"mobilephone\":\"1\",\"password\":\"secret\"}",
                                                  server.SecureBaseUrl() + "/v1/login", &response);
    std::string out = velquist::test::TakeCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("curl code:60,"), std::string::npos) << out;

    struct NoShell : Shell {
        bool Open(const std::string&) override { return true; }
        void ExitProcess() override {}
        void FailForcedUpgrade(const std::wstring&) override {}
    } shell;
    struct NoProgress : DownloadProgress {
        void ShowPercent(int) override {}
    } progress;
    DownloadRequest request;
    request.url = server.SecureBaseUrl() + "/setup.exe";
    request.folder = dir;
    EXPECT_EQ(HttpDownload().Download(request, progress, shell), DownloadOutcome::kClosed);
    EXPECT_EQ(reached, 0);
    HttpClient::ResetTimeouts();
}

TEST(HttpClientInstance, ConcurrentFirstCallsShareOneClient) {
    std::vector<HttpClient*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = HttpClient::Instance(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    std::set<HttpClient*> distinct(seen.begin(), seen.end());
    EXPECT_EQ(distinct.size(), 1u);
    EXPECT_NE(*distinct.begin(), nullptr);
}

TEST(HttpClientHelpers, AppendResponseKeepsEveryChunkAndDropsWithoutTarget) {
    std::string target = "ab";
    char chunk[] = {'c', '\0', 'd'};
    EXPECT_EQ(AppendResponse(chunk, 1, 3, &target), 3u);
    EXPECT_EQ(target, std::string("abc\0d", 5));
    EXPECT_EQ(AppendResponse(chunk, 3, 1, nullptr), 3u);
}

TEST(HttpClientHelpers, TimestampWrapsModulo2To32) {
    EXPECT_EQ(FormatTimestampQuery((1ULL << 32) + 5), "?timestamp=5");
    EXPECT_EQ(FormatTimestampQuery(1700000000123ULL), "?timestamp=3487918203");
    std::string now = MakeTimestampQuery();
    ASSERT_EQ(now.rfind("?timestamp=", 0), 0u);
    std::string digits = now.substr(11);
    ASSERT_FALSE(digits.empty());
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_TRUE(digits == "0" || digits[0] != '0');
}

TEST(ServiceUrl, HelpPagesHangBelowTheBaseAddress) {
    SetServiceBaseUrl("http://example.test:1234/");
    EXPECT_EQ(ServiceBaseUrl(), "http://example.test:1234");
    EXPECT_EQ(HelpPageUrl(), "http://example.test:1234/help");
    EXPECT_EQ(HelpAudioPageUrl(), "http://example.test:1234/help/audio");
    SetServiceBaseUrl("");
    EXPECT_EQ(ServiceBaseUrl(), DefaultServiceBaseUrl());
}

TEST(ServiceUrl, ConfigureIniOverridesTheBuildDefault) {
    EXPECT_EQ(DefaultServiceBaseUrl(), VELQUIST_TEST_DEFAULT_URL);
    ASSERT_TRUE(WriteConfigValue(L"global", L"service-url", L" http://cfg.test:9/ "));
    ReloadServiceBaseUrl();
    EXPECT_EQ(ServiceBaseUrl(), "http://cfg.test:9");
    ASSERT_TRUE(WriteConfigValue(L"global", L"service-url", L""));
    ReloadServiceBaseUrl();
    EXPECT_EQ(ServiceBaseUrl(), DefaultServiceBaseUrl());
}

} // namespace
} // namespace velquist
