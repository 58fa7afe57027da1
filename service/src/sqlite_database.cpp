#include "sqlite_database.h"

#include <cstdio>

namespace velquist::service {
namespace {

// SQLite's own threshold for folding the write-ahead log back into the file.
constexpr int kCheckpointFrames = 1000;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

void Bind(sqlite3_stmt* stmt, int index, const SqlValue& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        sqlite3_bind_int64(stmt, index, *number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()),
                          SQLITE_TRANSIENT);
    } else {
        const std::string& bytes = std::get<Blob>(value).bytes;
        sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
}

SqlRow RowOf(sqlite3_stmt* stmt) {
    const int columns = sqlite3_column_count(stmt);
    std::vector<std::optional<std::string>> cells;
    cells.reserve(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
            cells.emplace_back();
            continue;
        }
        const void* data = sqlite3_column_blob(stmt, i);
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, i));
        cells.emplace_back(std::string(static_cast<const char*>(data), data ? size : 0));
    }
    return SqlRow(std::move(cells));
}

class SqliteSession : public Session {
  public:
    explicit SqliteSession(sqlite3* db) : db_(db) {}

    SqlResult Run(std::string_view sql, const SqlParams& params, SqlRows* rows) override {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
            SQLITE_OK) {
            std::fprintf(stderr, "sqlite prepare failed: %s\n", sqlite3_errmsg(db_));
            sqlite3_finalize(raw);
            return SqlResult::kFailed;
        }
        StatementPtr stmt(raw);
        for (std::size_t i = 0; i < params.size(); ++i) {
            Bind(raw, static_cast<int>(i + 1), params[i]);
        }
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            if (rows != nullptr) {
                rows->push_back(RowOf(raw));
            }
        }
        if (rc == SQLITE_DONE) {
            return SqlResult::kOk;
        }
        if ((sqlite3_extended_errcode(db_) & 0xff) == SQLITE_CONSTRAINT) {
            return SqlResult::kConflict;
        }
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db_));
        return SqlResult::kFailed;
    }

    bool Script(std::string_view sql) override {
        const std::string text(sql);
        char* message = nullptr;
        const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
        if (rc != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", message != nullptr ? message : "error");
        }
        sqlite3_free(message);
        return rc == SQLITE_OK;
    }

    // One writer at a time already: BEGIN IMMEDIATE holds the write lock.
    bool LockKey(std::int64_t) override { return true; }

  private:
    sqlite3* db_;
};

} // namespace

std::unique_ptr<SqliteDatabase> SqliteDatabase::Open(const std::string& path, std::string* error) {
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    std::unique_ptr<SqliteDatabase> db(new SqliteDatabase(raw));
    if (rc != SQLITE_OK) {
        *error = raw != nullptr ? sqlite3_errmsg(raw) : "out of memory";
        return nullptr;
    }
    sqlite3_busy_timeout(raw, 5000);
    // The checkpoint that SQLite runs inside COMMIT swallows its errors (a full
    // disk among them); ours runs after the commit and says when it fails.
    sqlite3_wal_hook(raw, &SqliteDatabase::CountWalFrames, db.get());
    // WAL keeps readers off the writer's back; FULL makes every answered
    // write survive a power cut, not just a killed process.
    if (!db->Exec("PRAGMA journal_mode=WAL") || !db->Exec("PRAGMA synchronous=FULL") ||
        !db->Exec("PRAGMA foreign_keys=ON")) {
        *error = sqlite3_errmsg(raw);
        return nullptr;
    }
    return db;
}

bool SqliteDatabase::Exec(const char* sql) {
    return SqliteSession(db_.get()).Script(sql);
}

int SqliteDatabase::CountWalFrames(void* self, sqlite3*, const char*, int frames) {
    static_cast<SqliteDatabase*>(self)->wal_frames_ = frames;
    return SQLITE_OK;
}

// A full disk or an I/O error may have ended the transaction already; a
// second ROLLBACK would only log a confusing "no transaction is active".
void SqliteDatabase::RollBack() {
    if (sqlite3_get_autocommit(db_.get()) == 0) {
        Exec("ROLLBACK");
    }
}

// The commit is safe in the log whether or not this succeeds; a failure only
// lets the log grow until there is room again.
void SqliteDatabase::CheckpointIfDue() {
    if (wal_frames_ < kCheckpointFrames) {
        return;
    }
    const int rc =
        sqlite3_wal_checkpoint_v2(db_.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY) {
        std::fprintf(stderr, "sqlite: checkpoint failed: %s\n", sqlite3_errmsg(db_.get()));
        return;
    }
    wal_frames_ = 0;
}

bool SqliteDatabase::Transact(const std::function<bool(Session&)>& work) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Exec("BEGIN IMMEDIATE")) {
        std::fprintf(stderr, "sqlite: cannot begin a transaction\n");
        return false;
    }
    SqliteSession session(db_.get());
    if (!work(session)) {
        RollBack();
        return false;
    }
    if (!Exec("COMMIT")) {
        std::fprintf(stderr, "sqlite: commit failed, nothing of the transaction was stored\n");
        RollBack();
        return false;
    }
    CheckpointIfDue();
    return true;
}

} // namespace velquist::service
