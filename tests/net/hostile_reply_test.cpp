#include "loopback_server.h"
#include "net/feedback.h"
#include "net/http_client.h"
#include "net/json_fields.h"
#include "net/service_url.h"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <mutex>
#include <string>

namespace velquist {
namespace {

using namespace std::chrono_literals;

// Serves replies of any size from one block, so a test never holds them in memory.
void ServeHuge(httplib::Server& server, const std::string& path, std::uint64_t bytes,
               bool announce_length) {
    static const std::string block = "{\"ret\":0,\"data\":\"" + std::string(64 * 1024, 'a');
    auto fill = [](size_t, httplib::DataSink& sink) {
        return sink.write(block.data(), block.size());
    };
    server.Post(path, [=](const httplib::Request&, httplib::Response& res) {
        if (announce_length) {
            res.set_content_provider(static_cast<size_t>(bytes), "application/json",
                                     [fill](size_t offset, size_t, httplib::DataSink& sink) {
                                         return fill(offset, sink);
                                     });
        } else {
            res.set_chunked_content_provider("application/json", fill);
        }
    });
}

class HostileReplyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HttpClient::SetTimeouts(5000ms, 1000ms);
        server_.server().Post("/v1/feedback",
                              [this](const httplib::Request&, httplib::Response& res) {
                                  std::lock_guard<std::mutex> lock(mutex_);
                                  res.set_content(reply_, "application/json");
                              });
    }
    void TearDown() override {
        HttpClient::ResetTimeouts();
        ReloadServiceBaseUrl();
    }

    void Reply(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = text;
    }

    testing::LoopbackServer server_;
    std::mutex mutex_;
    std::string reply_;
};

// The whole reply would be 100 MB or 1.5 GB; the client keeps at most the cap of it.
TEST_F(HostileReplyTest, HugeRepliesAreCutAtTheCap) {
    constexpr std::uint64_t kHundredMegabytes = 100ull << 20;
    constexpr std::uint64_t kOneAndAHalfGigabytes = 1536ull << 20;
    ServeHuge(server_.server(), "/announced", kOneAndAHalfGigabytes, true);
    ServeHuge(server_.server(), "/hundred", kHundredMegabytes, true);
    ServeHuge(server_.server(), "/endless", 0, false);
    server_.Start();
    for (const char* path : {"/announced", "/hundred", "/endless"}) {
        std::string response;
        EXPECT_EQ(HttpClient::Instance()->PostJson("{}", server_.BaseUrl() + path, &response), -1)
            << path;
        EXPECT_LE(response.size(), kMaxReplyBytes) << path;
    }
}

TEST_F(HostileReplyTest, ReplyJustUnderTheCapIsRead) {
    const std::string head = "{\"ret\":0,\"data\":\"";
    Reply(head + std::string(kMaxReplyBytes - head.size() - 2, 'a') + "\"}");
    server_.Start();
    SetServiceBaseUrl(server_.BaseUrl());
    EXPECT_EQ(SubmitFeedback(L"text", L"qq"), L"反馈信息已提交!");
}

} // namespace
} // namespace velquist
