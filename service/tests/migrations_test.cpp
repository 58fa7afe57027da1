#include "database.h"
#include "migrations.h"
#include "service_fixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>

namespace velquist::service::testing {
namespace {

// The database a migration test works on: a file in `dir`, or a fresh
// PostgreSQL database in the PostgreSQL run.
class Migrations : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string skip;
        where_ = TestDatabaseUrl(&skip);
        if (TestingPostgres() && where_.empty()) {
            GTEST_SKIP() << skip;
        }
        if (where_.empty()) {
            where_ = dir_.path() + "/service.db";
        }
    }
    static std::int64_t Versions(Database& db) {
        SqlRows rows;
        db.Query("SELECT COUNT(*) FROM schema_migrations", {}, &rows);
        return rows.empty() ? -1 : rows[0].Int(0);
    }

    TempDir dir_;
    std::string where_;
};

TEST_F(Migrations, EveryStepRunsOnceAcrossReopens) {
    std::string error;
    auto db = Database::Open(where_, &error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(Versions(*db), LatestSchemaVersion());
    ASSERT_EQ(db->Query("INSERT INTO feedback (content, contact, remote_ip, created_at) "
                        "VALUES ('kept', 'c', '127.0.0.1', 1)"),
              SqlResult::kOk);
    db.reset();
    db = Database::Open(where_, &error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(Versions(*db), LatestSchemaVersion());
    SqlRows rows;
    ASSERT_EQ(db->Query("SELECT content FROM feedback", {}, &rows), SqlResult::kOk);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text(0), "kept");
}

TEST_F(Migrations, ADatabaseFromANewerServiceIsRefused) {
    std::string error;
    auto db = Database::Open(where_, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_EQ(db->Query("INSERT INTO schema_migrations (version, applied_at) VALUES (?1, 0)",
                        {std::int64_t{LatestSchemaVersion() + 1}}),
              SqlResult::kOk);
    db.reset();
    error.clear();
    EXPECT_FALSE(Database::Open(where_, &error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

TEST_F(Migrations, AFileFromBeforeCountedMigrationsKeepsItsData) {
    if (TestingPostgres()) {
        GTEST_SKIP() << "only SQLite files predate the counted migrations";
    }
    // The schema as the first release created it, with one account.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(where_.c_str(), &raw), SQLITE_OK);
    const char* old_schema =
        "CREATE TABLE users (id INTEGER PRIMARY KEY AUTOINCREMENT, mobilephone TEXT NOT NULL "
        "UNIQUE, password_hash TEXT NOT NULL, register_time INTEGER NOT NULL, last_login_ip "
        "TEXT NOT NULL DEFAULT '', last_login_time INTEGER NOT NULL DEFAULT 0, failed_logins "
        "INTEGER NOT NULL DEFAULT 0, locked_until INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE sms_codes (mobilephone TEXT NOT NULL, purpose TEXT NOT NULL, code_hash "
        "BLOB NOT NULL, issued_at INTEGER NOT NULL, wrong_tries INTEGER NOT NULL DEFAULT 0, "
        "consumed INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (mobilephone, purpose));"
        "CREATE TABLE feedback (id INTEGER PRIMARY KEY AUTOINCREMENT, content TEXT NOT NULL, "
        "contact TEXT NOT NULL, remote_ip TEXT NOT NULL, created_at INTEGER NOT NULL);"
        "CREATE TABLE secrets (name TEXT PRIMARY KEY, value BLOB NOT NULL);"
        "INSERT INTO users (mobilephone, password_hash, register_time) "
        "VALUES ('13800138000', '$argon2id$old', 7);";
    EXPECT_EQ(sqlite3_exec(raw, old_schema, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    std::string error;
    auto db = Database::Open(where_, &error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(Versions(*db), LatestSchemaVersion());
    SqlRows rows;
    ASSERT_EQ(
        db->Query("SELECT register_time FROM users WHERE mobilephone = '13800138000'", {}, &rows),
        SqlResult::kOk);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Int(0), 7);
    EXPECT_EQ(db->Query("SELECT COUNT(*) FROM login_failures"), SqlResult::kOk);
}

} // namespace
} // namespace velquist::service::testing
