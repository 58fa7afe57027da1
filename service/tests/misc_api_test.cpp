#include "database.h"
#include "http_api.h"
#include "ret_codes.h"
#include "service_fixture.h"
#include "validate.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace velquist::service::testing {
namespace {

using Feedback = ServiceFixture;
using UpgradeCheck = ServiceFixture;
using Installers = ServiceFixture;
using HelpPages = ServiceFixture;
using HostileInput = ServiceFixture;

constexpr const char* kUpgradeBody = "{\"app_name\":\"Morvane\"}";

TEST_F(Feedback, StoredWithContactTimeAndText) {
    const std::string body =
        "{\n   \"contact\" : \"qq 12345\",\n   \"content\" : \"转换后颜色偏暗\"\n}\n";
    const HttpResult res = Post("/v1/feedback", body);
    EXPECT_EQ(res.status, 200);
    ASSERT_EQ(res.ret(), kRetOk) << res.body;

    SqlRows rows;
    ASSERT_EQ(app_->database().Query("SELECT content, contact, created_at, remote_ip FROM feedback",
                                     {}, &rows),
              SqlResult::kOk);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text(0), "转换后颜色偏暗");
    EXPECT_EQ(rows[0].Text(1), "qq 12345");
    EXPECT_EQ(rows[0].Int(2), 1'800'000'000);
    EXPECT_EQ(rows[0].Text(3), "127.0.0.1");
}

TEST_F(Feedback, BracketsAndEscapedQuotesInsideTextAreJustText) {
    const std::string text = std::string(40, '[') + "\\\"" + std::string(40, '{');
    const HttpResult res = Post("/v1/feedback", "{\"contact\":\"c\",\"content\":\"" + text + "\"}");
    EXPECT_EQ(res.ret(), kRetOk) << res.body;
}

TEST_F(Feedback, EmptyOrMissingFieldsAreRefused) {
    EXPECT_EQ(Post("/v1/feedback", R"({"contact":"","content":"x"})").ret(), kRetInvalidFeedback);
    EXPECT_EQ(Post("/v1/feedback", R"({"contact":"x","content":""})").ret(), kRetInvalidFeedback);
    EXPECT_EQ(Post("/v1/feedback", R"({"content":"x"})").ret(), kRetMalformedBody);
    EXPECT_EQ(Post("/v1/feedback", R"({"contact":1,"content":"x"})").ret(), kRetMalformedBody);
}

TEST_F(UpgradeCheck, FreshManifestOffersTheShippedVersion) {
    const HttpResult res = Post("/v1/upgrade_check?timestamp=42", kUpgradeBody);
    ASSERT_EQ(res.ret(), kRetOk) << res.body;
    const Json::Value& data = res.json["data"];
    EXPECT_EQ(data["app_version"].asString(), "1.0.1");
    EXPECT_EQ(data["force_upgrade"].asString(), "0");
    // A relative URL in the manifest comes back absolute, on this server.
    EXPECT_EQ(data["download_url"].asString(),
              "http://127.0.0.1:" + std::to_string(app_->port()) + "/download/Velquist-1.0.1.run");
}

TEST_F(UpgradeCheck, PublishedVersionIsAnsweredWithoutRestart) {
    ASSERT_EQ(Post("/v1/upgrade_check", kUpgradeBody).ret(), kRetOk);
    WriteFile(options_.manifest,
              R"({"Morvane":{"app_version":"1.0.2","download_url":"http://example.test/v.run",
                 "force_upgrade":true}, "Other":{"app_version":"9.9.9"}})");
    const HttpResult res = Post("/v1/upgrade_check", kUpgradeBody);
    ASSERT_EQ(res.ret(), kRetOk) << res.body;
    EXPECT_EQ(res.json["data"]["app_version"].asString(), "1.0.2");
    EXPECT_EQ(res.json["data"]["download_url"].asString(), "http://example.test/v.run");
    EXPECT_EQ(res.json["data"]["force_upgrade"].asInt(), 1);
}

TEST_F(UpgradeCheck, UnknownAppBrokenManifestAndBadBody) {
    EXPECT_EQ(Post("/v1/upgrade_check", R"({"app_name":"Nope"})").ret(), kRetUnknownApp);
    EXPECT_EQ(Post("/v1/upgrade_check", "{}").ret(), kRetMalformedBody);
    WriteFile(options_.manifest, "{ not json");
    EXPECT_EQ(Post("/v1/upgrade_check", kUpgradeBody).ret(), kRetNoManifest);
    std::filesystem::remove(options_.manifest);
    EXPECT_EQ(Post("/v1/upgrade_check", kUpgradeBody).ret(), kRetNoManifest);
}

TEST_F(Installers, HeadGivesTheLengthAndGetTheWholeFile) {
    std::string payload;
    for (int i = 0; i < 300'000; ++i) {
        payload.push_back(static_cast<char>(i * 7 % 256));
    }
    WriteFile(options_.installers + "/Velquist-1.0.2.run", payload);

    const HttpResult head = Head("/download/Velquist-1.0.2.run");
    ASSERT_EQ(head.status, 200);
    auto res = client_->Head("/download/Velquist-1.0.2.run");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(payload.size()));
    EXPECT_TRUE(res->body.empty());

    const HttpResult get = Get("/download/Velquist-1.0.2.run");
    EXPECT_EQ(get.status, 200);
    EXPECT_TRUE(get.body == payload);
}

TEST_F(Installers, OnlyPlainFileNamesInTheFolderAreServed) {
    WriteFile(dir_->path() + "/secret.txt", "do not serve");
    std::filesystem::create_directory(options_.installers + "/sub");
    EXPECT_EQ(Get("/download/missing.run").status, 404);
    EXPECT_EQ(Get("/download/sub").status, 404);
    EXPECT_EQ(Get("/download/../secret.txt").status, 404);
    EXPECT_EQ(Get("/download/..%2Fsecret.txt").status, 404);
    EXPECT_EQ(Get("/download/.hidden").status, 404);
    const HttpResult res = Get("/download/%2e%2e/secret.txt");
    EXPECT_EQ(res.status, 404);
    EXPECT_EQ(res.body.find("do not serve"), std::string::npos);
}

TEST_F(HelpPages, BothPagesAreChineseHtml) {
    for (const char* path : {"/help", "/help/audio"}) {
        auto res = client_->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html;charset=UTF-8");
        EXPECT_TRUE(IsValidUtf8(res->body));
        EXPECT_NE(res->body.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(res->body.find("Velquist"), std::string::npos);
    }
    const std::string help = Get("/help").body;
    for (const char* topic : {"添加", "格式", "质量", "输出目录", "账号"}) {
        EXPECT_NE(help.find(topic), std::string::npos) << topic;
    }
    EXPECT_NE(Get("/help/audio").body.find("反馈"), std::string::npos);
}

TEST_F(HostileInput, MalformedBodiesGetJsonAnswers) {
    const std::string cases[] = {
        "",
        "not json",
        "[1,2,3]",
        "\"text\"",
        R"({"mobilephone":13800138000,"password":"pw"})",
        R"({"mobilephone":"13800138000","password":["pw"]})",
        R"({"mobilephone":"13800138000","password":null})",
        R"({"mobilephone":"13800138000","password":"pw"} trailing)",
        "{\"mobilephone\":\"13800138000\",\"password\":\"\xB0\xA1\"}", // GBK, not UTF-8
        std::string(100, '[') + std::string(100, ']'),
        R"({"mobilephone":"13800138000","mobilephone":"13900139000","password":"pw"})",
    };
    for (const std::string& body : cases) {
        for (const char* path :
             {"/v1/login", "/v1/register", "/v1/forgot", "/v1/feedback", "/v1/upgrade_check"}) {
            const HttpResult res = Post(path, body);
            EXPECT_EQ(res.status, 200) << path << " " << body;
            EXPECT_EQ(res.ret(), kRetMalformedBody) << path << " " << body;
        }
    }
    EXPECT_EQ(Post("/v1/upgrade_check", kUpgradeBody).ret(), kRetOk);
}

TEST_F(HostileInput, BodiesOverSixteenKibAreRefused) {
    const std::string big =
        R"({"contact":"x","content":")" + std::string(kMaxBodyBytes, 'a') + "\"}";
    const HttpResult res = Post("/v1/feedback", big);
    EXPECT_EQ(res.status, 413);
    EXPECT_EQ(res.ret(), kRetBodyTooLarge);
    const std::string fits = R"({"contact":"x","content":")" + std::string(16000, 'a') + "\"}";
    EXPECT_EQ(Post("/v1/feedback", fits).ret(), kRetOk);
}

TEST_F(HostileInput, UnknownPathsAndMethods) {
    HttpResult res = Get("/v2/nothing");
    EXPECT_EQ(res.status, 404);
    EXPECT_EQ(res.ret(), kRetNotFound);
    res = Post("/v1/logout", "{}");
    EXPECT_EQ(res.status, 404);
    EXPECT_EQ(res.ret(), kRetNotFound);
    res = Get("/v1/login");
    EXPECT_EQ(res.status, 405);
    EXPECT_EQ(res.ret(), kRetMethodNotAllowed);
    res = Post("/v1/smsnotify/register/13800138000", "{}");
    EXPECT_EQ(res.status, 405);
    EXPECT_EQ(ReadFile(options_.outbox), "");
    for (const char* method : {"PUT", "DELETE", "PATCH", "OPTIONS"}) {
        res = Send(method, "/v1/login", "{}");
        EXPECT_EQ(res.status, 405) << method;
        EXPECT_EQ(res.ret(), kRetMethodNotAllowed) << method;
    }
    EXPECT_EQ(Get("/help").status, 200);
}

TEST_F(HostileInput, RawGarbageOnTheSocketLeavesTheServiceServing) {
    const std::string requests[] = {
        "FOO /v1/login HTTP/1.1\r\nHost: x\r\n\r\n",
        "GARBAGE\r\n\r\n",
        "POST /v1/login HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n",
        "POST /v1/login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        std::string("\0\1\2\3\xFF", 5),
    };
    for (const std::string& raw : requests) {
        httplib::Client probe("127.0.0.1", app_->port());
        // Send bytes straight through a socket: the client cannot be made to
        // produce these.
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(app_->port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::send(fd, raw.data(), raw.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(raw.size()));
        ::shutdown(fd, SHUT_WR);
        char buffer[512];
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(fd);
    }
    EXPECT_EQ(Post("/v1/upgrade_check", kUpgradeBody).ret(), kRetOk);
}

} // namespace
} // namespace velquist::service::testing
