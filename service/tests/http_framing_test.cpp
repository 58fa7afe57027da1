// Where one request ends and the next begins: bodies without a length or an
// end, two framings at once, bodies on a GET. Each must end in one answer and
// bounded memory, never in a second request the client smuggled in. And the
// workers: a login flood from a few addresses leaves the others answered.
#include "http_front.h"
#include "raw_connection.h"
#include "ret_codes.h"
#include "service_fixture.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace velquist::service::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSmsTarget = "/v1/smsnotify/register/13800138000";

// Resident memory of this process (the service runs inside it), in KiB.
long ResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

int CountAnswers(const std::string& text) {
    int count = 0;
    for (std::size_t pos = text.find("HTTP/1.1 "); pos != std::string::npos;
         pos = text.find("HTTP/1.1 ", pos + 1)) {
        ++count;
    }
    return count;
}

class Framing : public ServiceFixture {
  protected:
    // Sends `head`, then floods `chunk` up to `limit` bytes; what came back.
    std::string FloodAfter(const std::string& head, const std::string& chunk, std::size_t limit,
                           bool* closed) {
        RawConnection conn("127.0.0.5", app_->port());
        EXPECT_TRUE(conn.connected());
        conn.Send(head);
        conn.Flood(chunk, limit);
        return conn.ReadUntilClosed(3s, closed);
    }
    // What the service answers within a second to `raw` sent at once (a
    // smuggled request would be answered within milliseconds).
    std::string Exchange(const std::string& raw) {
        RawConnection conn("127.0.0.6", app_->port());
        EXPECT_TRUE(conn.connected());
        conn.Send(raw);
        bool closed = false;
        return conn.ReadUntilClosed(1s, &closed);
    }
};

TEST_F(Framing, AnEndlessBodyIsRefusedOnceOverTheLimitWhateverItsFraming) {
    const long before = ResidentKib();
    bool closed = false;
    // No length and no chunks: the body would never end.
    std::string answer = FloodAfter("POST /v1/feedback HTTP/1.1\r\nHost: x\r\n\r\n",
                                    std::string(64 * 1024, 'a'), 64 << 20, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer;
    // Chunks that never reach their last one.
    answer =
        FloodAfter("POST /v1/feedback HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n",
                   "400\r\n" + std::string(1024, 'b') + "\r\n", 64 << 20, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;
    // A GET's body counts as well.
    answer = FloodAfter("GET /help HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n",
                        "400\r\n" + std::string(1024, 'c') + "\r\n", 64 << 20, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;
    // Far below the 64 MiB each flood offered.
    EXPECT_LT(ResidentKib() - before, 16 * 1024);
    EXPECT_EQ(Get("/help").status, 200);
}

TEST_F(Framing, AmbiguousFramingIsRefusedAndTheConnectionClosed) {
    const std::string smuggled = std::string("GET ") + kSmsTarget + " HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string heads[] = {
        "POST /v1/feedback HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n"
        "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
        "POST /v1/feedback HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
        "Content-Length: 5\r\n\r\n0\r\n\r\n",
        "POST /v1/feedback HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Length: 5\r\n\r\n",
        "POST /v1/feedback HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
        "POST /v1/feedback HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: identity\r\n\r\n",
        "POST /v1/login HTTP/1.1\r\nHost: x\r\n\r\n",
    };
    for (const std::string& head : heads) {
        const std::string answer = Exchange(head + smuggled);
        EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << head;
        EXPECT_EQ(CountAnswers(answer), 1) << head;
        EXPECT_NE(answer.find("Connection: close"), std::string::npos) << head;
    }
    EXPECT_EQ(ReadFile(options_.outbox), "");
}

TEST_F(Framing, AGetBodyNeverRunsAsARequestEvenFromATrustedProxy) {
    ServiceOptions options = options_;
    options.trusted_proxies = {"127.0.0.1", "127.0.0.6"};
    Restart(options);
    // The smuggled request names an address of its own, to slip past the
    // per-address SMS limit.
    const std::string smuggled = std::string("GET ") + kSmsTarget +
                                 " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: 203.0.113.50\r\n\r\n";
    for (const char* path : {"/help/audio", "/help", "/download/none.run"}) {
        const std::string answer =
            Exchange(std::string("GET ") + path + " HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                     std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled);
        EXPECT_EQ(CountAnswers(answer), 1) << path << "\n" << answer;
    }
    const std::string chunked = Exchange(
        "GET /help/audio HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" + ([&] {
            char size[16];
            std::snprintf(size, sizeof size, "%zx", smuggled.size());
            return std::string(size);
        })() +
        "\r\n" + smuggled + "\r\n0\r\n\r\n");
    EXPECT_EQ(CountAnswers(chunked), 1) << chunked;
    EXPECT_EQ(ReadFile(options_.outbox), "");
    // An honest pipeline still gets every answer.
    const std::string two = Exchange("GET /help HTTP/1.1\r\nHost: x\r\n\r\n"
                                     "GET /help/audio HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(CountAnswers(two), 2);
}

TEST(FramingRules, OnlyOneUnambiguousFramingPasses) {
    const auto with = [](const char* method,
                         std::vector<std::pair<std::string, std::string>> headers) {
        HttpRequest req;
        req.method = method;
        req.headers = std::move(headers);
        return FramingProblem(req, 16);
    };
    EXPECT_EQ(with("POST", {{"content-length", "16"}}), 0);
    EXPECT_EQ(with("POST", {{"Transfer-Encoding", " Chunked "}}), 0);
    EXPECT_EQ(with("GET", {}), 0);
    EXPECT_EQ(with("POST", {{"Content-Length", "17"}}), 413);
    EXPECT_EQ(with("POST", {{"Content-Length", "99999999999999999999"}}), 413);
    EXPECT_EQ(with("POST", {}), 400);
    EXPECT_EQ(with("POST", {{"Content-Length", "+5"}}), 400);
    EXPECT_EQ(with("POST", {{"Content-Length", "5"}, {"Content-Length", "5"}}), 400);
    EXPECT_EQ(with("GET", {{"Transfer-Encoding", "chunked"}, {"Transfer-Encoding", "chunked"}}),
              400);
    EXPECT_EQ(with("GET", {{"Content-Length", "0"}, {"Transfer-Encoding", "chunked"}}), 400);
}

// Three addresses keep 48 connections busy with 1,920 pipelined logins for a
// number nobody has, far more than the workers; a fourth address's feedback
// is answered while the flood is still under way.
TEST_F(Framing, FeedbackIsAnsweredWhileThreeAddressesFloodLogins) {
    ServiceOptions options = options_;
    options.hash_ops = 3;
    options.hash_memory_bytes = 8 << 20;
    Restart(options);
    const std::string body = R"({"mobilephone":"13999999999","password":"guess-123"})";
    std::string logins;
    for (int i = 0; i < 40; ++i) {
        logins += "POST /v1/login HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
                  "Content-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    std::vector<std::unique_ptr<RawConnection>> flood;
    for (int i = 0; i < 3 * 16; ++i) {
        flood.push_back(
            std::make_unique<RawConnection>("127.0.1." + std::to_string(1 + i % 3), app_->port()));
        ASSERT_TRUE(flood.back()->connected());
        flood.back()->Send(logins);
    }
    int logins_answered = 0;
    const auto count_answers = [&] {
        for (auto& conn : flood) {
            logins_answered += CountAnswers(conn->ReadAvailable());
        }
    };
    // Under way: the workers are busy with it.
    const auto give_up = std::chrono::steady_clock::now() + 20s;
    while (logins_answered < 4 && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(10ms);
        count_answers();
    }
    ASSERT_GE(logins_answered, 4);
    httplib::Client client("127.0.0.1", app_->port());
    client.set_read_timeout(30);
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        auto res = client.Post("/v1/feedback", R"({"content":"still here","contact":"x"})",
                               "application/json");
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(res) << "feedback " << i;
        EXPECT_EQ(res->status, 200);
        std::printf("feedback %d answered after %lld ms during the flood\n", i,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        // A sanity bound only; what matters is that the flood is not over yet.
        EXPECT_LT(took, 20s);
    }
    count_answers();
    std::printf("%d of 1920 logins answered by then\n", logins_answered);
    EXPECT_LT(logins_answered, 1920);
}

} // namespace
} // namespace velquist::service::testing
