#include "service_fixture.h"

#include "ret_codes.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <json/reader.h>
#include <json/writer.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sstream>

namespace velquist::service::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velquist-svc-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) {
        std::filesystem::remove_all(path_, ignored);
    }
}

bool ParseJsonText(const std::string& text, Json::Value* out) {
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    return Json::parseFromStream(builder, in, out, &errors);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

std::string LastCodeFor(const std::string& outbox, const std::string& phone) {
    std::istringstream lines(ReadFile(outbox));
    std::string line;
    std::string code;
    while (std::getline(lines, line)) {
        if (line.rfind(phone + " ", 0) == 0) {
            code = line.substr(phone.size() + 1);
        }
    }
    return code;
}

std::vector<int> RetsOfConcurrentPosts(int n, const std::function<int(int)>& post) {
    std::vector<int> rets(static_cast<std::size_t>(n), -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
        threads.emplace_back([i, &rets, &post] { rets[static_cast<std::size_t>(i)] = post(i); });
    }
    for (auto& t : threads) {
        t.join();
    }
    return rets;
}

void ExpectExactlyOneRegistrationWon(const std::vector<int>& rets) {
    int wins = 0;
    for (int ret : rets) {
        wins += ret == kRetOk ? 1 : 0;
        EXPECT_TRUE(ret == kRetOk || ret == kRetCodeUnusable || ret == kRetUserExists) << ret;
    }
    EXPECT_EQ(wins, 1);
}

ServiceOptions TestOptions(const std::string& dir) {
    ServiceOptions options;
    options.host = "127.0.0.1";
    options.port = 0;
    options.data_dir = dir;
    options.database = dir + "/service.db";
    options.installers = dir + "/installers";
    options.manifest = dir + "/manifest.json";
    options.outbox = dir + "/outbox.txt";
    options.threads = 8;
    options.hash_ops = crypto_pwhash_OPSLIMIT_MIN;
    options.hash_memory_bytes = 64 * 1024;
    options.hash_parallel = 2;
    options.access_log = false;
    return options;
}

void ServiceFixture::SetUp() {
    ASSERT_GE(sodium_init(), 0);
    dir_ = std::make_unique<TempDir>();
    ASSERT_FALSE(dir_->path().empty());
    ServiceOptions options = TestOptions(dir_->path());
    if (TestingPostgres()) {
        std::string skip;
        options.database = TestDatabaseUrl(&skip);
        if (options.database.empty()) {
            GTEST_SKIP() << skip;
        }
    }
    Restart(options);
}

namespace {

std::string SqliteAnswer(const std::string& path, const char* pragma) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(raw, pragma, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return "cannot ask";
    }
    std::string answer = sqlite3_step(stmt) == SQLITE_ROW
                             ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
                             : "no answer";
    sqlite3_finalize(stmt);
    return answer;
}

} // namespace

std::string SqliteJournalMode(const std::string& path) {
    return SqliteAnswer(path, "PRAGMA journal_mode");
}

std::string SqliteIntegrityCheck(const std::string& path) {
    return SqliteAnswer(path, "PRAGMA integrity_check");
}

void ServiceFixture::Restart(const ServiceOptions& options) {
    StopService();
    options_ = options;
    app_ = std::make_unique<ServiceApp>();
    auto now = now_;
    std::string error;
    ASSERT_TRUE(app_->Open(
        options_, [now] { return now->load(); }, &error))
        << error;
    server_thread_ = std::thread([this] { app_->Serve(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", app_->port());
    client_->set_connection_timeout(5);
    client_->set_read_timeout(10);
    // The socket is bound already; wait until the accept loop runs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!client_->Get("/help") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ServiceFixture::StopService() {
    if (app_) {
        app_->Stop();
    }
    if (server_thread_.joinable()) {
        server_thread_.join();
    }
    client_.reset();
    app_.reset();
}

void ServiceFixture::TearDown() {
    StopService();
    dir_.reset();
}

namespace {

HttpResult ToResult(const httplib::Result& res) {
    HttpResult result;
    if (!res) {
        return result;
    }
    result.status = res->status;
    result.body = res->body;
    ParseJsonText(result.body, &result.json);
    return result;
}

} // namespace

HttpResult ServiceFixture::Post(const std::string& path, const std::string& body) {
    return ToResult(client_->Post(path, body, "application/json;charset=UTF-8"));
}

HttpResult ServiceFixture::Get(const std::string& path) {
    return ToResult(client_->Get(path));
}

HttpResult ServiceFixture::Head(const std::string& path) {
    return ToResult(client_->Head(path));
}

HttpResult ServiceFixture::Send(const std::string& method, const std::string& path,
                                const std::string& body) {
    httplib::Request req;
    req.method = method;
    req.path = path;
    req.body = body;
    return ToResult(client_->send(req));
}

std::string ServiceFixture::RequestCode(const std::string& purpose, const std::string& phone) {
    const HttpResult res = Get("/v1/smsnotify/" + purpose + "/" + phone);
    if (res.status != 200 || res.ret() != 0) {
        return {};
    }
    return LastCodeFor(options_.outbox, phone);
}

namespace {

// The shape the desktop program sends for registration and reset: an
// indented, key-sorted JSON text.
std::string StyledBody(const std::string& phone, const std::string& password,
                       const std::string& code) {
    Json::Value body;
    body["mobilephone"] = phone;
    body["password"] = password;
    body["code"] = code;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    return Json::writeString(builder, body) + "\n";
}

} // namespace

HttpResult ServiceFixture::Register(const std::string& phone, const std::string& password,
                                    const std::string& code) {
    return Post("/v1/register", StyledBody(phone, password, code));
}

HttpResult ServiceFixture::Forgot(const std::string& phone, const std::string& password,
                                  const std::string& code) {
    return Post("/v1/forgot", StyledBody(phone, password, code));
}

HttpResult ServiceFixture::Login(const std::string& phone, const std::string& password) {
    // Put together the way the desktop program does: compact and unescaped.
    return Post("/v1/login?timestamp=12345",
                "{\"mobilephone\":\"" + phone + "\",\"password\":\"" + password + "\"}");
}

void ServiceFixture::RegisterUser(const std::string& phone, const std::string& password) {
    const std::string code = RequestCode("register", phone);
    ASSERT_EQ(code.size(), 6u) << "no code for " << phone;
    const HttpResult res = Register(phone, password, code);
    ASSERT_EQ(res.ret(), 0) << res.body;
}

} // namespace velquist::service::testing
