#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace velquist::service {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

// One prepared statement. Values are always bound, never spliced into SQL.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql);

    bool ok() const { return stmt_ != nullptr; }
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindBlob(int index, const void* data, int size);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Runs to completion; true when the statement finished without error.
    bool Run();
    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;
    bool IsNull(int column) const;

  private:
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
};

// The service's one connection. Callers hold lock() across a read-decide-write
// sequence so that two requests for the same phone cannot interleave.
class Database {
  public:
    static std::unique_ptr<Database> Open(const std::string& path, std::string* error);

    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }
    Statement Prepare(const char* sql) { return Statement(db_.get(), sql); }
    bool Exec(const char* sql);
    bool Begin() { return Exec("BEGIN IMMEDIATE"); }
    bool Commit() { return Exec("COMMIT"); }
    void Rollback() { Exec("ROLLBACK"); }
    std::int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_.get()); }
    // "ok" when the file is sound; otherwise SQLite's first complaint.
    std::string IntegrityCheck();
    std::string JournalMode();

  private:
    explicit Database(sqlite3* db) : db_(db) {}
    bool Configure(std::string* error);

    std::unique_ptr<sqlite3, SqliteCloser> db_;
    std::mutex mutex_;
};

} // namespace velquist::service
