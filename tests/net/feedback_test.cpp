#include "loopback_server.h"
#include "net/feedback.h"
#include "net/http_client.h"
#include "net/service_url.h"

#include <chrono>
#include <gtest/gtest.h>
#include <json/json.h>
#include <string>

namespace velquist {
namespace {

using namespace std::chrono_literals;

TEST(FeedbackInput, ChecksContentThenContactThenLogin) {
    EXPECT_EQ(CheckFeedbackInput(L"", L"", false), L"反馈内容不能为空!");
    EXPECT_EQ(CheckFeedbackInput(L"text", L"", true), L"联系方式不能为空!");
    EXPECT_EQ(CheckFeedbackInput(L"text", L"qq", false), L"请先登录后进行反馈!");
    EXPECT_EQ(CheckFeedbackInput(L"  ", L" ", true), L"") << "blanks are not trimmed";
}

class FeedbackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HttpClient::SetTimeouts(2000ms, 1000ms);
        server_.server().Post("/v1/feedback",
                              [this](const httplib::Request& req, httplib::Response& res) {
                                  seen_body_ = req.body;
                                  res.status = status_;
                                  res.set_content(reply_, "application/json");
                              });
        server_.Start();
        SetServiceBaseUrl(server_.BaseUrl());
    }
    void TearDown() override { HttpClient::ResetTimeouts(); }

    testing::LoopbackServer server_;
    std::string reply_ = "{\"ret\":0}";
    int status_ = 200;
    std::string seen_body_;
};

TEST_F(FeedbackTest, ChineseTextArrivesAsUtf8InStyledJson) {
    EXPECT_EQ(SubmitFeedback(L"图片转换很好用", L"13800000000"), L"反馈信息已提交!");
    EXPECT_NE(seen_body_.find("\xe5\x9b\xbe\xe7\x89\x87"), std::string::npos) << seen_body_;
    EXPECT_LT(seen_body_.find("\"contact\" : "), seen_body_.find("\"content\" : "));
    Json::Value parsed;
    ASSERT_TRUE(Json::Reader().parse(seen_body_, parsed));
    EXPECT_EQ(parsed["content"].asString(), "图片转换很好用");
    EXPECT_EQ(parsed["contact"].asString(), "13800000000");
}

TEST_F(FeedbackTest, ResultPrompts) {
    reply_ = "{\"ret\":1}";
    EXPECT_EQ(SubmitFeedback(L"a", L"b"), L"未知错误");
    reply_ = "{\"ret\":\"0\"}";
    EXPECT_EQ(SubmitFeedback(L"a", L"b"), L"反馈信息已提交!");
    reply_ = "{}";
    EXPECT_EQ(SubmitFeedback(L"a", L"b"), L"网络错误!") << "no ret is no success";
    reply_ = "<html>";
    EXPECT_EQ(SubmitFeedback(L"a", L"b"), L"网络错误!");
    reply_ = "{\"ret\":0}";
    status_ = 500;
    EXPECT_EQ(SubmitFeedback(L"a", L"b"), L"网络错误!") << "an error page is no success";
    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    EXPECT_EQ(SubmitFeedback(L"a", L"b"), L"网络错误!");
}

} // namespace
} // namespace velquist
