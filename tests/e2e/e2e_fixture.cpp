#include "e2e_fixture.h"

#include "account/credential_store.h"
#include "account/user_info.h"
#include "app/app_startup.h"
#include "gui_steps.h"
#include "net/http_client.h"
#include "net/service_url.h"
#include "net/version.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "ui/paint_manager.h"
#include "ui/window_keeper.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace velquist::e2e {
namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// The text after "sms outbox: " up to the end of its line.
std::string OutboxOf(const std::string& announcement) {
    const std::string marker = "sms outbox: ";
    const auto start = announcement.find(marker);
    if (start == std::string::npos) {
        return {};
    }
    const auto from = start + marker.size();
    return announcement.substr(from, announcement.find('\n', from) - from);
}

// The last "phone code" line of the outbox for that phone.
std::optional<std::string> LastCode(const std::string& outbox, const std::string& phone) {
    std::istringstream lines(ReadFile(outbox));
    std::optional<std::string> code;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string who;
        std::string what;
        if (fields >> who >> what && who == phone) {
            code = what;
        }
    }
    return code;
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

// One home for the whole process, made before any test reads the configuration: the
// configuration's and the credential file's folders are looked up once.
class HomeEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        home_ = std::make_unique<test::TempDir>();
        const std::string& home = home_->Path();
        for (const char* sub : {"/data", "/config", "/runtime", "/Pictures"}) {
            ::mkdir((home + sub).c_str(), 0700);
        }
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
        // Keeps the saved login away from the user's own keyring: no secret store answers.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + home + "/no-bus").c_str(), 1);
        ui::CPaintManagerUI::SetInstance();
        ASSERT_TRUE(LoadSkinResources());
    }
    void TearDown() override { home_.reset(); }

  private:
    std::unique_ptr<test::TempDir> home_;
};

[[maybe_unused]] ::testing::Environment* const kHome =
    ::testing::AddGlobalTestEnvironment(new HomeEnvironment);

} // namespace

bool LiveService::Start(const std::string& offeredVersion) {
    dataDir_ = root_.Path() + "/service";
    ::mkdir(dataDir_.c_str(), 0700);
    ::mkdir(InstallersDir().c_str(), 0700);
    if (!Publish(offeredVersion, "/download/Velquist-" + offeredVersion + ".run")) {
        return false;
    }
    const std::vector<std::string> args = {
        "--listen", "127.0.0.1:0",    "--data-dir", dataDir_,       "--hash-ops",
        "1",        "--hash-mem-kib", "64",         "--access-log", "on"};
    if (!child_.Start(args, {}, dataDir_ + "/service.log")) {
        return false;
    }
    outbox_ = OutboxOf(child_.first_lines());
    return !outbox_.empty();
}

std::string LiveService::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(child_.port());
}

std::optional<std::string> LiveService::CodeFor(const std::string& phone) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    std::optional<std::string> code = LastCode(outbox_, phone);
    while (!code && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        code = LastCode(outbox_, phone);
    }
    return code;
}

bool LiveService::Publish(const std::string& version, const std::string& downloadUrl) const {
    const std::string manifest = R"({"Morvane": {"app_version": ")" + version +
                                 R"(", "download_url": ")" + downloadUrl +
                                 R"(", "force_upgrade": 0}})"
                                 "\n";
    // Written beside and renamed over, so the service never reads half a manifest.
    const std::string path = dataDir_ + "/manifest.json";
    return WriteFile(path + ".new", manifest) &&
           std::rename((path + ".new").c_str(), path.c_str()) == 0;
}

std::vector<LiveService::Feedback> LiveService::StoredFeedback() const {
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2((dataDir_ + "/service.db").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    if (opened != SQLITE_OK) {
        return {};
    }
    sqlite3_busy_timeout(db.get(), 5000);
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           "SELECT content, contact, created_at FROM feedback ORDER BY id", -1,
                           &rawStatement, nullptr) != SQLITE_OK) {
        return {};
    }
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(rawStatement);
    std::vector<Feedback> rows;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        rows.push_back({ColumnText(statement.get(), 0), ColumnText(statement.get(), 1),
                        sqlite3_column_int64(statement.get(), 2)});
    }
    return rows;
}

std::string LiveService::Log() const {
    return ReadFile(dataDir_ + "/service.log");
}

std::string EndToEndTest::OfferedVersion() const {
    return LocalVersion;
}

void EndToEndTest::SetUp() {
    // A new login each time, as at the program's start.
    UserInfo::Instance()->Set(UserRecord{});
    DeleteCredentials();
    HttpClient::SetTimeouts(15s, 5s);
    ASSERT_TRUE(service_.Start(OfferedVersion())) << service_.Log();
    SetServiceBaseUrl(service_.BaseUrl());
}

void EndToEndTest::TearDown() {
    CloseStrayWindows(QString());
    SpinUntil([] { return false; }, 50);
    HttpClient::ResetTimeouts();
    ReloadServiceBaseUrl();
    DeleteCredentials();
}

CMainWnd* EndToEndTest::OpenMainWindow() {
    auto owned = std::make_unique<CMainWnd>();
    CMainWnd* window = owned.get();
    if (window->Create(ui::kNoWindow, QStringLiteral("Velquist"), ui::WS_OVERLAPPEDWINDOW, 0, 0, 0,
                       0, 0) == ui::kNoWindow) {
        ADD_FAILURE() << "the main window could not be made";
        return nullptr;
    }
    ui::KeepUntilGone(std::move(owned));
    window->CenterWindow();
    window->ShowWindow(true, true);
    return window;
}

void EndToEndTest::CloseMainWindow(CMainWnd* window) {
    const ui::HWND handle = window->GetHWND();
    ui::PostMessage(handle, ui::WM_CLOSE, 0, 0);
    EXPECT_TRUE(SpinUntil([handle] { return !ui::IsWindow(handle); }));
    // The program ends with its main window, so the window asks the application to quit
    // on its way out, and a pending quit makes every later modal loop return at once. Here
    // the next window stands for the next start: the request is let through (queued
    // calls run in order) and then used up by an application loop of its own.
    bool drained = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&drained] { drained = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(SpinUntil([&drained] { return drained; }));
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

bool ShowsLoggedIn(CMainWnd* window, const QString& account) {
    ui::CControlUI* username = window->FindControl(QStringLiteral("username"));
    ui::CControlUI* login = window->FindControl(QStringLiteral("login"));
    ui::CControlUI* reg = window->FindControl(QStringLiteral("register"));
    return username != nullptr && login != nullptr && reg != nullptr && username->IsVisible() &&
           username->GetText() == account && !login->IsVisible() && !reg->IsVisible();
}

bool ShowsLoggedOut(CMainWnd* window) {
    ui::CControlUI* username = window->FindControl(QStringLiteral("username"));
    ui::CControlUI* login = window->FindControl(QStringLiteral("login"));
    ui::CControlUI* reg = window->FindControl(QStringLiteral("register"));
    return username != nullptr && login != nullptr && reg != nullptr && !username->IsVisible() &&
           login->IsVisible() && reg->IsVisible();
}

int CountOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

void ClickControl(CMainWnd* window, const char* name) {
    ui::CControlUI* control = window->FindControl(QLatin1String(name));
    auto* button =
        control != nullptr ? qobject_cast<QAbstractButton*>(control->GetWidget()) : nullptr;
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

} // namespace velquist::e2e
