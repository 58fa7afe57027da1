#include "loopback_server.h"
#include "net/http_client.h"
#include "net/service_url.h"
#include "net/update_check.h"
#include "net/version.h"
#include "support/output_capture.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist {
namespace {

using namespace std::chrono_literals;

struct RecordingUi : UpdateUi {
    std::vector<std::wstring> prompts;
    std::vector<bool> prompt_owned;
    std::vector<std::wstring> questions;
    bool confirm = true;
    std::vector<std::pair<std::string, int>> downloads;
    std::vector<InstallerCheck> checks;
    std::vector<std::string> order;
    bool batch = false;
    bool prompt_confirmed = true;

    bool Prompt(const std::wstring& text, bool owned) override {
        prompts.push_back(text);
        prompt_owned.push_back(owned);
        order.push_back("prompt");
        return prompt_confirmed;
    }
    bool AskUpgrade(const std::wstring& text) override {
        questions.push_back(text);
        order.push_back("ask");
        return confirm;
    }
    void ShowDownload(const std::string& url, int force, const InstallerCheck& check) override {
        downloads.emplace_back(url, force);
        checks.push_back(check);
        order.push_back("download");
    }
    bool BatchRunning() override { return batch; }
    void QuitWithoutForcedUpdate() override { order.push_back("quit"); }
};

const std::wstring kAnnounce2 = L"发现新版本啦!\n新版本:2.0.0,安装时程序将关闭。";

std::string Reply(const std::string& version, const std::string& force_json) {
    return "{\"ret\":0,\"data\":{\"app_version\":\"" + version +
           "\",\"download_url\":\"http://dl.test/Velquist-setup.exe\",\"force_upgrade\":" +
           force_json + "}}";
}

TEST(VersionCompare, ComponentByComponent) {
    VersionTriple local;
    ASSERT_TRUE(ParseVersionTriple(LocalVersion, &local));
    struct Case {
        const char* offered;
        bool newer;
    } cases[] = {
        {"1.0.1", false},  {"1.0.2", true},   {"2.0.0", true},  {"0.9.9", false},
        {"1.0.0", false},  {"01.0.2", true},  {"1.0.10", true}, {"1..0.2", true},
        {".1.0.2.", true}, {"1.0.2.9", true}, {"1.1.0", true},
    };
    for (const Case& c : cases) {
        VersionTriple offered;
        ASSERT_TRUE(ParseVersionTriple(c.offered, &offered)) << c.offered;
        EXPECT_EQ(IsNewerVersion(offered, local), c.newer) << c.offered;
    }
    VersionTriple v109{1, 0, 9};
    EXPECT_FALSE(IsNewerVersion(v109, VersionTriple{1, 1, 0}));
    EXPECT_TRUE(IsNewerVersion(VersionTriple{1, 0, 10}, v109));
}

TEST(VersionCompare, MalformedVersionsDoNotParse) {
    VersionTriple v;
    for (const char* text : {"", "1", "1.0", "1.a.2", "1.0.2b", "x.y.z", "1.0.99999999999"}) {
        EXPECT_FALSE(ParseVersionTriple(text, &v)) << text;
    }
}

TEST(UpgradeReply, JudgesOfferAndForce) {
    UpdateOffer newer = JudgeUpgradeReply(Reply("1.0.2", "1"));
    EXPECT_EQ(newer.kind, UpdateOffer::Kind::kNewer);
    EXPECT_EQ(newer.force, 1);
    EXPECT_EQ(newer.download_url, "http://dl.test/Velquist-setup.exe");
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0.2", "\"1\"")).force, 1);
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0.2", "0")).force, 0);
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0.2", "\"0\"")).kind, UpdateOffer::Kind::kNewer);
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0.1", "0")).kind, UpdateOffer::Kind::kNotNewer);

    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0", "0")).kind, UpdateOffer::Kind::kMalformed);
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.x.2", "0")).kind, UpdateOffer::Kind::kMalformed);
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0.2", "\"yes\"")).kind, UpdateOffer::Kind::kMalformed);
    EXPECT_EQ(JudgeUpgradeReply(Reply("1.0.2", "null")).kind, UpdateOffer::Kind::kMalformed);
    EXPECT_EQ(JudgeUpgradeReply("{\"ret\":0,\"data\":[1]}").kind, UpdateOffer::Kind::kMalformed);
    EXPECT_EQ(JudgeUpgradeReply("{\"ret\":0,\"data\":{\"app_version\":\"1.0.2\","
                                "\"download_url\":\"http://dl.test/\",\"force_upgrade\":1}}")
                  .kind,
              UpdateOffer::Kind::kMalformed)
        << "an address without a file name";
    EXPECT_EQ(JudgeUpgradeReply("{\"ret\":0,\"data\":{\"app_version\":7}}").kind,
              UpdateOffer::Kind::kMalformed);

    EXPECT_EQ(JudgeUpgradeReply("{\"ret\":1,\"data\":{}}").kind, UpdateOffer::Kind::kNoReply);
    EXPECT_EQ(JudgeUpgradeReply("{\"data\":{\"app_version\":\"9.0.0\"}}").kind,
              UpdateOffer::Kind::kNoReply);
    EXPECT_EQ(JudgeUpgradeReply("not json").kind, UpdateOffer::Kind::kNoReply);
}

std::string ReplyWith(const std::string& extra_members) {
    return "{\"ret\":0,\"data\":{\"app_version\":\"1.0.2\",\"download_url\":"
           "\"http://dl.test/Velquist-setup.exe\",\"force_upgrade\":1" +
           extra_members + "}}";
}

TEST(UpgradeReply, InstallerChecksAreOptionalButMustBeWellFormed) {
    const std::string hash(64, 'a');
    UpdateOffer plain = JudgeUpgradeReply(ReplyWith(""));
    EXPECT_EQ(plain.kind, UpdateOffer::Kind::kNewer);
    EXPECT_TRUE(plain.check.sha256.empty());
    EXPECT_EQ(plain.check.size, 0u);

    UpdateOffer full = JudgeUpgradeReply(
        ReplyWith(",\"sha256\":\"" + std::string(64, 'A') + "\",\"size\":123456"));
    EXPECT_EQ(full.kind, UpdateOffer::Kind::kNewer);
    EXPECT_EQ(full.check.sha256, hash) << "hex is compared in lower case";
    EXPECT_EQ(full.check.size, 123456u);
    EXPECT_EQ(JudgeUpgradeReply(ReplyWith(",\"size\":\"5000000000\"")).check.size, 5000000000u);

    for (const std::string& bad : std::vector<std::string>{
             std::string(",\"sha256\":\"abc\""), ",\"sha256\":\"" + std::string(63, 'a') + "g\"",
             ",\"sha256\":42", ",\"size\":0", ",\"size\":-5", ",\"size\":1.5", ",\"size\":\"12kB\"",
             ",\"size\":null"}) {
        EXPECT_EQ(JudgeUpgradeReply(ReplyWith(bad)).kind, UpdateOffer::Kind::kMalformed) << bad;
    }
}

TEST(UpgradeReply, SignatureIsStandardBase64OfSixtyFourBytes) {
    const std::string zeros = std::string(86, 'A') + "==";
    UpdateOffer signed_offer = JudgeUpgradeReply(ReplyWith(",\"signature\":\"" + zeros + "\""));
    ASSERT_EQ(signed_offer.kind, UpdateOffer::Kind::kNewer);
    EXPECT_EQ(signed_offer.check.signature, std::string(64, '\0'));
    EXPECT_TRUE(JudgeUpgradeReply(ReplyWith("")).check.signature.empty())
        << "left to the download to refuse";

    const std::string url_safe = "____" + std::string(82, 'A') + "==";
    for (const std::string& bad :
         std::vector<std::string>{",\"signature\":\"" + std::string(84, 'A') + "\"", // 63 bytes
                                  ",\"signature\":\"" + std::string(88, 'A') + "\"", // 66 bytes
                                  ",\"signature\":\"" + url_safe + "\"", ",\"signature\":\"\"",
                                  ",\"signature\":\"" + zeros + " \"", ",\"signature\":64",
                                  ",\"signature\":null", ",\"signature\":[\"" + zeros + "\"]"}) {
        EXPECT_EQ(JudgeUpgradeReply(ReplyWith(bad)).kind, UpdateOffer::Kind::kMalformed) << bad;
    }
}

// A hostile or broken service must never make the judging throw: every member of every
// level, in every JSON type but its own.
TEST(UpgradeReply, WrongTypesInEveryFieldAreRefusedWithoutThrowing) {
    const std::vector<std::string> values = {"null", "true",    "1.5", "-1",        "\"x\"",
                                             "[]",   "[1,[2]]", "{}",  "{\"a\":{}}"};
    const std::vector<std::string> members = {"app_version", "download_url", "force_upgrade",
                                              "sha256",      "size",         "signature"};
    for (const std::string& value : values) {
        for (const std::string& member : members) {
            std::string reply = "{\"ret\":0,\"data\":{\"app_version\":\"1.0.2\","
                                "\"download_url\":\"http://dl.test/v.deb\",\"force_upgrade\":1}}";
            std::string field = "\"" + member + "\":";
            size_t at = reply.find(field);
            reply = at == std::string::npos
                        ? reply.insert(reply.size() - 2, "," + field + value)
                        : reply.replace(at + field.size(),
                                        reply.find_first_of(",}", at) - at - field.size(), value);
            bool own_type = member == "force_upgrade" && value == "-1";
            EXPECT_EQ(JudgeUpgradeReply(reply).kind == UpdateOffer::Kind::kNewer, own_type)
                << reply;
        }
        EXPECT_EQ(JudgeUpgradeReply("{\"ret\":0,\"data\":" + value + "}").kind,
                  UpdateOffer::Kind::kMalformed)
            << value;
        EXPECT_EQ(JudgeUpgradeReply("{\"ret\":" + value + "}").kind, UpdateOffer::Kind::kNoReply)
            << value;
        EXPECT_EQ(JudgeUpgradeReply(value).kind, UpdateOffer::Kind::kNoReply) << value;
    }
}

class UpdateCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HttpClient::SetTimeouts(2000ms, 1000ms);
        server_.server().Post("/v1/upgrade_check",
                              [this](const httplib::Request& req, httplib::Response& res) {
                                  seen_body_ = req.body;
                                  seen_timestamp_ = req.get_param_value("timestamp");
                                  res.set_content(reply_, "application/json");
                              });
        server_.Start();
        SetServiceBaseUrl(server_.BaseUrl());
    }
    void TearDown() override { HttpClient::ResetTimeouts(); }

    testing::LoopbackServer server_;
    std::string reply_;
    std::string seen_body_;
    std::string seen_timestamp_;
    RecordingUi ui_;
};

TEST_F(UpdateCheckTest, UpToDateIsSilentAtStartAndSaidFromTheMenu) {
    reply_ = Reply("1.0.1", "0");
    EXPECT_EQ(CheckForUpdate(ui_, false), 0);
    EXPECT_TRUE(ui_.order.empty());
    EXPECT_EQ(seen_body_, "{\"app_name\":\"Morvane\"}");
    EXPECT_FALSE(seen_timestamp_.empty());

    EXPECT_EQ(CheckForUpdate(ui_, true), 0);
    ASSERT_EQ(ui_.prompts.size(), 1u);
    EXPECT_EQ(ui_.prompts[0], L"已是最新版本");
    EXPECT_FALSE(ui_.prompt_owned[0]) << "the main window stays usable";
}

TEST_F(UpdateCheckTest, ForcedUpgradePromptsThenDownloads) {
    reply_ = Reply("2.0.0", "\"1\"");
    velquist::test::CaptureStdout();
    EXPECT_EQ(CheckForUpdate(ui_, false), 0);
    std::string out = velquist::test::TakeCapturedStdout();
    EXPECT_EQ(ui_.order, (std::vector<std::string>{"prompt", "download"}));
    EXPECT_EQ(ui_.prompts[0], kAnnounce2);
    EXPECT_TRUE(ui_.prompt_owned[0]);
    EXPECT_EQ(ui_.downloads[0],
              std::make_pair(std::string("http://dl.test/Velquist-setup.exe"), 1));
    EXPECT_NE(out.find("message: {\"app_name\":\"Morvane\"}\n"), std::string::npos);
    EXPECT_NE(out.find("routeMajorVersion: 2 routeMinorVersion: 0 routeRevisionVersion: 0\n"),
              std::string::npos);
    EXPECT_NE(out.find("localMajorVersion: 1 localMinorVersion: 0 localRevisionVersion: 1\n"),
              std::string::npos);
}

TEST_F(UpdateCheckTest, OptionalUpgradeAsksAndMayBeDeclined) {
    reply_ = Reply("1.0.10", "0");
    ui_.confirm = false;
    EXPECT_EQ(CheckForUpdate(ui_, true), 0);
    EXPECT_EQ(ui_.order, (std::vector<std::string>{"ask"}));
    EXPECT_EQ(ui_.questions[0], L"发现新版本啦!\n新版本:1.0.10,安装时程序将关闭。");

    ui_.confirm = true;
    EXPECT_EQ(CheckForUpdate(ui_, true), 0);
    ASSERT_EQ(ui_.downloads.size(), 1u);
    EXPECT_EQ(ui_.downloads[0].second, 0);
}

TEST_F(UpdateCheckTest, PublishedHashAndSizeReachTheDownload) {
    reply_ = ReplyWith(",\"sha256\":\"" + std::string(64, 'b') + "\",\"size\":77");
    EXPECT_EQ(CheckForUpdate(ui_, false), 0);
    ASSERT_EQ(ui_.checks.size(), 1u);
    EXPECT_EQ(ui_.checks[0].sha256, std::string(64, 'b'));
    EXPECT_EQ(ui_.checks[0].size, 77u);
}

TEST_F(UpdateCheckTest, StartupCheckStaysSilentWhenItCannotCheck) {
    for (const std::string& reply :
         {std::string("{\"ret\":1}"), std::string("garbage"), std::string("{}"), Reply("1.0", "1"),
          Reply("1.0.x", "1"), Reply("3.0.0", "\"soon\"")}) {
        reply_ = reply;
        EXPECT_EQ(CheckForUpdate(ui_, false), 0) << reply;
    }
    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    EXPECT_EQ(CheckForUpdate(ui_, false), -1);
    EXPECT_TRUE(ui_.order.empty());
}

TEST_F(UpdateCheckTest, MenuCheckSaysWhyItCouldNotCheck) {
    for (const std::string& reply :
         {std::string("{\"ret\":1}"), std::string("garbage"), Reply("1.0.x", "1"),
          Reply("3.0.0", "\"soon\"")}) {
        reply_ = reply;
        EXPECT_EQ(CheckForUpdate(ui_, true), 0) << reply;
    }
    ASSERT_EQ(ui_.prompts.size(), 4u);
    for (const std::wstring& text : ui_.prompts) {
        EXPECT_EQ(text, L"检查更新失败,服务器回复无效!");
    }
    EXPECT_TRUE(ui_.downloads.empty());

    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    EXPECT_EQ(CheckForUpdate(ui_, true), -1);
    ASSERT_EQ(ui_.prompts.size(), 5u);
    EXPECT_EQ(ui_.prompts.back(), L"网络连接失败,请检查网络!");
    EXPECT_FALSE(ui_.prompt_owned.back()) << "the main window stays usable";
}

TEST_F(UpdateCheckTest, AnnouncementDuringABatchSaysTheInstallWaits) {
    reply_ = Reply("2.0.0", "0");
    ui_.batch = true;
    ui_.confirm = false;
    EXPECT_EQ(CheckForUpdate(ui_, false), 0);
    ASSERT_EQ(ui_.questions.size(), 1u);
    EXPECT_EQ(ui_.questions[0], kAnnounce2 + L"\n当前正在转换,下载完成后将等转换结束再安装。");
    EXPECT_EQ(ui_.order, (std::vector<std::string>{"ask"})) << "declined: the batch goes on";
}

// Closing the forced prompt without its button must neither start the download unasked
// nor let the program run on without the update.
TEST_F(UpdateCheckTest, ForcedPromptClosedAnotherWayQuits) {
    reply_ = Reply("2.0.0", "1");
    ui_.prompt_confirmed = false;
    EXPECT_EQ(CheckForUpdate(ui_, false), 0);
    EXPECT_EQ(ui_.order, (std::vector<std::string>{"prompt", "quit"}));
}

TEST(UpdateAnnouncement, ShowsTheJudgedNumbersOnly) {
    UpdateOffer offer = JudgeUpgradeReply(
        "{\"ret\":0,\"data\":{\"app_version\":\"02.1.3.<b>x</b>\",\"download_url\":"
        "\"http://dl.test/a.deb\",\"force_upgrade\":0}}");
    ASSERT_EQ(offer.kind, UpdateOffer::Kind::kNewer);
    EXPECT_EQ(offer.version, "2.1.3");
}

} // namespace
} // namespace velquist
