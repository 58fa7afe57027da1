#include "child_service.h"
#include "database.h"
#include "ret_codes.h"
#include "service_fixture.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace velquist::service::testing {
namespace {

std::vector<std::string> CheapArgs(const std::string& dir, const std::string& database = "") {
    std::vector<std::string> args = {"--listen",
                                     "127.0.0.1:0",
                                     "--data-dir",
                                     dir,
                                     "--hash-ops",
                                     "1",
                                     "--hash-mem-kib",
                                     "64",
                                     "--threads",
                                     "16",
                                     "--sms-per-address-hour",
                                     "1000000",
                                     "--sms-per-hour",
                                     "0"};
    if (!database.empty()) {
        args.insert(args.end(), {"--database", database});
    }
    return args;
}

// The database for a test's child service: SQLite in its data folder, or a
// fresh PostgreSQL database. False (with the reason) when the run must skip.
bool ChooseDatabase(std::string* database, std::string* skip) {
    *database = TestDatabaseUrl(skip);
    return !TestingPostgres() || !database->empty();
}

std::map<std::string, std::string> HomeIn(const std::string& dir) {
    return {{"HOME", dir + "/home"}, {"XDG_DATA_HOME", dir + "/xdg"}};
}

int RetOf(const httplib::Result& res) {
    Json::Value json;
    if (!res || res->status != 200 || !ParseJsonText(res->body, &json)) {
        return -1;
    }
    return json["ret"].asInt();
}

std::string LoginBody(const std::string& phone, const std::string& password) {
    return "{\"mobilephone\":\"" + phone + "\",\"password\":\"" + password + "\"}";
}

// One client's registration loop; stops at the first transport failure,
// which is how it notices the kill.
void RegisterUntilGone(int port, const std::string& outbox, long long first_phone,
                       std::mutex* mutex, std::vector<std::string>* answered_ok) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2);
    client.set_read_timeout(5);
    for (long long phone_number = first_phone;; ++phone_number) {
        const std::string phone = std::to_string(phone_number);
        auto sms = client.Get("/v1/smsnotify/register/" + phone);
        if (!sms) {
            return;
        }
        const std::string code = LastCodeFor(outbox, phone);
        const std::string body = "{\"mobilephone\":\"" + phone + "\",\"password\":\"pw-" + phone +
                                 "\",\"code\":\"" + code + "\"}";
        auto res = client.Post("/v1/register", body, "application/json");
        if (!res) {
            return;
        }
        if (RetOf(res) == kRetOk) {
            std::lock_guard<std::mutex> lock(*mutex);
            answered_ok->push_back(phone);
        }
    }
}

TEST(ServiceProcess, RegistrationsAnsweredBeforeSigkillSurviveIt) {
    std::string database;
    std::string skip;
    if (!ChooseDatabase(&database, &skip)) {
        GTEST_SKIP() << skip;
    }
    TempDir dir;
    const std::string log = dir.path() + "/service.log";
    const std::string outbox = dir.path() + "/sms-outbox.txt";
    std::vector<std::string> answered_ok;
    {
        ChildService service;
        ASSERT_TRUE(service.Start(CheapArgs(dir.path(), database), HomeIn(dir.path()), log))
            << service.first_lines() << ReadFile(log);
        std::mutex mutex;
        std::vector<std::thread> clients;
        for (int i = 0; i < 4; ++i) {
            clients.emplace_back(RegisterUntilGone, service.port(), outbox,
                                 13000000000LL + i * 100000LL, &mutex, &answered_ok);
        }
        // Kill in the middle of the load, once a fair number went through.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (answered_ok.size() >= 60) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        service.Signal(SIGKILL);
        const int status = service.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        for (auto& t : clients) {
            t.join();
        }
    }
    ASSERT_GE(answered_ok.size(), 20u);

    ChildService restarted;
    ASSERT_TRUE(restarted.Start(CheapArgs(dir.path(), database), HomeIn(dir.path()), log))
        << ReadFile(log);
    httplib::Client client("127.0.0.1", restarted.port());
    std::size_t logged_in = 0;
    for (const std::string& phone : answered_ok) {
        const int ret =
            RetOf(client.Post("/v1/login", LoginBody(phone, "pw-" + phone), "application/json"));
        EXPECT_EQ(ret, kRetOk) << phone;
        logged_in += ret == kRetOk ? 1 : 0;
    }
    EXPECT_EQ(logged_in, answered_ok.size());
    std::printf("registrations answered ok before SIGKILL: %zu, logged in after restart: %zu\n",
                answered_ok.size(), logged_in);

    if (!TestingPostgres()) {
        EXPECT_EQ(SqliteIntegrityCheck(dir.path() + "/service.db"), "ok");
    }
}

TEST(ServiceProcess, AccessLogCarriesNoPasswordAndSigtermEndsCleanly) {
    std::string database;
    std::string skip;
    if (!ChooseDatabase(&database, &skip)) {
        GTEST_SKIP() << skip;
    }
    TempDir dir;
    const std::string log = dir.path() + "/service.log";
    ChildService service;
    ASSERT_TRUE(service.Start(CheapArgs(dir.path(), database), HomeIn(dir.path()), log))
        << ReadFile(log);
    httplib::Client client("127.0.0.1", service.port());
    const std::string phone = "15500001111";
    ASSERT_TRUE(client.Get("/v1/smsnotify/register/" + phone));
    const std::string code = LastCodeFor(dir.path() + "/sms-outbox.txt", phone);
    ASSERT_EQ(code.size(), 6u);
    const std::string body = "{\"mobilephone\":\"" + phone +
                             "\",\"password\":\"Sekr1t-Passw0rd\",\"code\":\"" + code + "\"}";
    EXPECT_EQ(RetOf(client.Post("/v1/register", body, "application/json")), kRetOk);
    EXPECT_EQ(RetOf(client.Post("/v1/login?timestamp=1", LoginBody(phone, "Sekr1t-Passw0rd"),
                                "application/json")),
              kRetOk);
    // A line feed and a control character in the path try to forge a line.
    ASSERT_TRUE(client.Get("/help%0a10.9.8.7%20GET%20/admin%20200%1b[2J"));
    service.Signal(SIGTERM);
    const int status = service.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string text = ReadFile(log);
    EXPECT_EQ(text.find("\n10.9.8.7"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_NE(text.find("GET /help\\x0A10.9.8.7\\x20GET"), std::string::npos) << text;
    EXPECT_NE(text.find("POST /v1/register 200"), std::string::npos) << text;
    EXPECT_NE(text.find("POST /v1/login 200"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sekr1t"), std::string::npos) << text;
    // Codes go to the outbox only; numbers show masked.
    EXPECT_EQ(text.find(code), std::string::npos) << text;
    EXPECT_EQ(text.find(phone), std::string::npos) << text;
    EXPECT_NE(text.find("GET /v1/smsnotify/register/155****1111 200"), std::string::npos) << text;
    EXPECT_NE(text.find("sms code for 155****1111"), std::string::npos) << text;
}

TEST(ServiceProcess, DefaultsLiveUnderXdgDataHome) {
    TempDir dir;
    const std::string log = dir.path() + "/service.log";
    ChildService service;
    ASSERT_TRUE(
        service.Start({"--listen", "127.0.0.1:0", "--hash-ops", "1", "--hash-mem-kib", "64"},
                      HomeIn(dir.path()), log))
        << ReadFile(log);
    const std::string base = dir.path() + "/xdg/Morvane/Service";
    EXPECT_NE(service.first_lines().find(base + "/sms-outbox.txt"), std::string::npos)
        << service.first_lines();
    EXPECT_TRUE(std::filesystem::exists(base + "/service.db"));
    EXPECT_TRUE(std::filesystem::exists(base + "/manifest.json"));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/installers"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/home"));
}

TEST(ServiceProcess, FlagsOverrideTheConfigurationFile) {
    TempDir dir;
    const std::string conf = dir.path() + "/service.conf";
    WriteFile(conf, "# test settings\nlisten = 127.0.0.1:0\nhash-ops = 1\nhash-mem-kib = 64\n"
                    "outbox = " +
                        dir.path() +
                        "/from-file.txt\n"
                        "manifest = " +
                        dir.path() + "/m.json\n");
    ChildService service;
    ASSERT_TRUE(service.Start(
        {"--config", conf, "--data-dir", dir.path(), "--outbox", dir.path() + "/from-flag.txt"},
        HomeIn(dir.path()), dir.path() + "/log"))
        << ReadFile(dir.path() + "/log");
    httplib::Client client("127.0.0.1", service.port());
    ASSERT_TRUE(client.Get("/v1/smsnotify/register/13812345678"));
    EXPECT_EQ(LastCodeFor(dir.path() + "/from-flag.txt", "13812345678").size(), 6u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/from-file.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/m.json"));
}

TEST(ServiceProcess, BadSettingsAreRefusedAtStart) {
    TempDir dir;
    const auto env = HomeIn(dir.path());
    EXPECT_EQ(RunToEnd({"--help"}, env), 0);
    EXPECT_EQ(RunToEnd({"--listen", "nowhere"}, env), 2);
    EXPECT_EQ(RunToEnd({"--threads", "0"}, env), 2);
    EXPECT_EQ(RunToEnd({"--no-such-flag", "1"}, env), 2);
    EXPECT_EQ(RunToEnd({"--config", dir.path() + "/missing.conf"}, env), 2);
    WriteFile(dir.path() + "/bad.conf", "listen 127.0.0.1:1\n");
    EXPECT_EQ(RunToEnd({"--config", dir.path() + "/bad.conf"}, env), 2);
}

} // namespace
} // namespace velquist::service::testing
