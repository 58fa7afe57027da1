#include "database.h"

#include <cstdio>

namespace velquist::service {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    mobilephone TEXT NOT NULL UNIQUE,
    password_hash TEXT NOT NULL,
    register_time INTEGER NOT NULL,
    last_login_ip TEXT NOT NULL DEFAULT '',
    last_login_time INTEGER NOT NULL DEFAULT 0,
    failed_logins INTEGER NOT NULL DEFAULT 0,
    locked_until INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS sms_codes (
    mobilephone TEXT NOT NULL,
    purpose TEXT NOT NULL,
    code_hash BLOB NOT NULL,
    issued_at INTEGER NOT NULL,
    wrong_tries INTEGER NOT NULL DEFAULT 0,
    consumed INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (mobilephone, purpose)
);
CREATE TABLE IF NOT EXISTS feedback (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    content TEXT NOT NULL,
    contact TEXT NOT NULL,
    remote_ip TEXT NOT NULL,
    created_at INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS sms_sent (
    mobilephone TEXT NOT NULL,
    client_ip TEXT NOT NULL,
    sent_at INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS sms_sent_by_phone ON sms_sent (mobilephone, sent_at);
CREATE INDEX IF NOT EXISTS sms_sent_by_client ON sms_sent (client_ip, sent_at);
CREATE INDEX IF NOT EXISTS sms_sent_by_time ON sms_sent (sent_at);
CREATE TABLE IF NOT EXISTS login_failures (
    mobilephone TEXT NOT NULL,
    client_ip TEXT NOT NULL,
    failures INTEGER NOT NULL DEFAULT 0,
    locked_until INTEGER NOT NULL DEFAULT 0,
    last_failure_at INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (mobilephone, client_ip)
);
CREATE INDEX IF NOT EXISTS login_failures_by_time ON login_failures (last_failure_at);
CREATE TABLE IF NOT EXISTS secrets (
    name TEXT PRIMARY KEY,
    value BLOB NOT NULL
);
)sql";

} // namespace

Statement::Statement(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite prepare failed: %s\n", sqlite3_errmsg(db));
        sqlite3_finalize(raw);
        return;
    }
    stmt_.reset(raw);
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (stmt_) {
        sqlite3_bind_int64(stmt_.get(), index, value);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (stmt_) {
        sqlite3_bind_text(stmt_.get(), index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, int size) {
    if (stmt_) {
        sqlite3_bind_blob(stmt_.get(), index, data, size, SQLITE_TRANSIENT);
    }
    return *this;
}

int Statement::Step() {
    if (!stmt_) {
        return SQLITE_MISUSE;
    }
    return sqlite3_step(stmt_.get());
}

bool Statement::Run() {
    int rc = Step();
    while (rc == SQLITE_ROW) {
        rc = Step();
    }
    return rc == SQLITE_DONE;
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(stmt_.get(), column);
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_.get(), column);
    if (text == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), column)));
}

std::string Statement::Blob(int column) const {
    const void* data = sqlite3_column_blob(stmt_.get(), column);
    if (data == nullptr) {
        return {};
    }
    return std::string(static_cast<const char*>(data),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), column)));
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL;
}

std::unique_ptr<Database> Database::Open(const std::string& path, std::string* error) {
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    std::unique_ptr<Database> db(new Database(raw));
    if (rc != SQLITE_OK) {
        *error = raw != nullptr ? sqlite3_errmsg(raw) : "out of memory";
        return nullptr;
    }
    if (!db->Configure(error)) {
        return nullptr;
    }
    return db;
}

bool Database::Configure(std::string* error) {
    sqlite3_busy_timeout(db_.get(), 5000);
    // WAL keeps readers off the writer's back; FULL makes every answered
    // write survive a power cut, not just a killed process.
    if (JournalMode() != "wal" || !Exec("PRAGMA synchronous=FULL") ||
        !Exec("PRAGMA foreign_keys=ON") || !Exec(kSchema)) {
        *error = sqlite3_errmsg(db_.get());
        return false;
    }
    return true;
}

bool Database::Exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", message != nullptr ? message : "error");
    }
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

std::string Database::JournalMode() {
    Statement stmt = Prepare("PRAGMA journal_mode=WAL");
    if (stmt.Step() != SQLITE_ROW) {
        return {};
    }
    return stmt.Text(0);
}

std::string Database::IntegrityCheck() {
    Statement stmt = Prepare("PRAGMA integrity_check");
    if (stmt.Step() != SQLITE_ROW) {
        return "integrity_check failed to run";
    }
    return stmt.Text(0);
}

} // namespace velquist::service
