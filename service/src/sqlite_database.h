#pragma once

#include "database.h"

#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <string>

namespace velquist::service {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// One connection in WAL mode; transactions take turns in this process and
// start as writers (BEGIN IMMEDIATE), so each read-decide-write is atomic.
class SqliteDatabase : public Database {
  public:
    static std::unique_ptr<SqliteDatabase> Open(const std::string& path, std::string* error);

    bool Transact(const std::function<bool(Session&)>& work) override;
    const char* Kind() const override { return "sqlite"; }

  private:
    explicit SqliteDatabase(sqlite3* db) : db_(db) {}
    bool Exec(const char* sql);
    void RollBack();
    void CheckpointIfDue();
    static int CountWalFrames(void* self, sqlite3* db, const char* name, int frames);

    std::unique_ptr<sqlite3, SqliteCloser> db_;
    std::mutex mutex_;
    // Frames in the write-ahead log after the last commit (under mutex_).
    int wal_frames_ = 0;
};

} // namespace velquist::service
