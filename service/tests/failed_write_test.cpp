#include "accounts.h"
#include "database.h"
#include "password_hasher.h"
#include "ret_codes.h"
#include "service_fixture.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <memory>
#include <string>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace velquist::service::testing {
namespace {

constexpr const char* kPhone = "13700137000";

bool OnSqlite(Database& db) {
    return std::strcmp(db.Kind(), "sqlite") == 0;
}

std::int64_t CountRows(Database& db, const std::string& table) {
    SqlRows rows;
    if (db.Query("SELECT COUNT(*) FROM " + table, {}, &rows) != SqlResult::kOk || rows.empty()) {
        return -1;
    }
    return rows[0].Int(0);
}

// From now on the COMMIT of every transaction that writes a row `when`
// picks out fails: the trigger adds a row whose foreign key is deferred and
// points nowhere, and both databases check it only at COMMIT.
bool ArmCommitTrap(Database& db, const std::string& table, const std::string& event,
                   const std::string& when) {
    const std::string name = "trap_" + table;
    std::string sql;
    if (OnSqlite(db)) {
        sql = "CREATE TABLE IF NOT EXISTS trap_parent (id INTEGER PRIMARY KEY);"
              "CREATE TABLE IF NOT EXISTS trap_child (parent INTEGER REFERENCES trap_parent (id)"
              " DEFERRABLE INITIALLY DEFERRED);"
              "CREATE TRIGGER " +
              name + " AFTER " + event + " ON " + table + " FOR EACH ROW WHEN " + when +
              " BEGIN INSERT INTO trap_child VALUES (1); END;";
    } else {
        sql = "CREATE TABLE IF NOT EXISTS trap_parent (id BIGINT PRIMARY KEY);"
              "CREATE TABLE IF NOT EXISTS trap_child (parent BIGINT REFERENCES trap_parent (id)"
              " DEFERRABLE INITIALLY DEFERRED);"
              "CREATE OR REPLACE FUNCTION trap_fire() RETURNS trigger LANGUAGE plpgsql AS"
              " $$ BEGIN INSERT INTO trap_child VALUES (1); RETURN NULL; END $$;"
              "CREATE TRIGGER " +
              name + " AFTER " + event + " ON " + table + " FOR EACH ROW WHEN (" + when +
              ") EXECUTE FUNCTION trap_fire();";
    }
    return db.Transact([&](Session& s) { return s.Script(sql); });
}

bool DisarmCommitTrap(Database& db, const std::string& table) {
    const std::string sql =
        "DROP TRIGGER trap_" + table + (OnSqlite(db) ? std::string() : " ON " + table);
    return db.Transact([&](Session& s) { return s.Script(sql); });
}

// Acknowledged against stored: every post either stored and answered 0, or
// not stored and answered the service error.
struct Tally {
    std::int64_t acknowledged = 0;
    std::int64_t refused = 0;
    std::int64_t other = 0;
};

class FailedWrites : public ServiceFixture {
  protected:
    void PostFeedback(const std::string& content, Tally* tally) {
        const HttpResult res =
            Post("/v1/feedback", "{\"contact\":\"qq 1\",\"content\":\"" + content + "\"}");
        if (res.status == 200 && res.ret() == kRetOk) {
            ++tally->acknowledged;
        } else if (res.status == 200 && res.ret() == kRetInternal) {
            ++tally->refused;
        } else {
            ++tally->other;
        }
    }
};

TEST_F(FailedWrites, FeedbackWhoseCommitFailsIsNotAcknowledged) {
    Database& db = app_->database();
    ASSERT_TRUE(ArmCommitTrap(db, "feedback", "INSERT", "NEW.content LIKE 'refuse%'"));
    Tally tally;
    for (int i = 0; i < 20; ++i) {
        PostFeedback(i % 2 == 0 ? "keep " + std::to_string(i) : "refuse " + std::to_string(i),
                     &tally);
    }
    EXPECT_EQ(tally.acknowledged, 10);
    EXPECT_EQ(tally.refused, 10);
    EXPECT_EQ(tally.other, 0);
    EXPECT_EQ(CountRows(db, "feedback"), tally.acknowledged);
}

TEST_F(FailedWrites, RegistrationWhoseCommitFailsKeepsTheCode) {
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(code.size(), 6u);
    Database& db = app_->database();
    ASSERT_TRUE(
        ArmCommitTrap(db, "users", "INSERT", "NEW.mobilephone = '" + std::string(kPhone) + "'"));
    const HttpResult failed = Register(kPhone, "pw", code);
    EXPECT_EQ(failed.ret(), kRetInternal) << failed.body;
    EXPECT_FALSE(failed.json["data"].isMember("id"));
    EXPECT_EQ(CountRows(db, "users"), 0);

    ASSERT_TRUE(DisarmCommitTrap(db, "users"));
    const HttpResult again = Register(kPhone, "pw", code);
    ASSERT_EQ(again.ret(), kRetOk) << again.body;
    EXPECT_EQ(CountRows(db, "users"), 1);
    EXPECT_EQ(Login(kPhone, "pw").ret(), kRetOk);
}

// A code the database lost never reaches the phone, and the request can be
// made again at once.
TEST_F(FailedWrites, CodeWhoseCommitFailsIsNotSent) {
    Database& db = app_->database();
    ASSERT_TRUE(ArmCommitTrap(db, "sms_codes", "INSERT",
                              "NEW.mobilephone = '" + std::string(kPhone) + "'"));
    const HttpResult failed = Get("/v1/smsnotify/register/" + std::string(kPhone));
    EXPECT_EQ(failed.ret(), kRetInternal) << failed.body;
    EXPECT_EQ(LastCodeFor(options_.outbox, kPhone), "");
    EXPECT_EQ(CountRows(db, "sms_sent"), 0);

    ASSERT_TRUE(DisarmCommitTrap(db, "sms_codes"));
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(code.size(), 6u);
    EXPECT_EQ(Register(kPhone, "pw", code).ret(), kRetOk);
}

// A send that fails takes its code and count back: no lockout by the resend
// interval or the caps follows, and the next code works.
TEST_F(FailedWrites, CodeThatCannotBeSentIsWithdrawn) {
    const ServiceOptions good = options_;
    ServiceOptions broken = options_;
    broken.outbox = dir_->path() + "/outbox-is-a-folder";
    std::filesystem::create_directories(broken.outbox);
    Restart(broken);
    for (int i = 0; i < 3; ++i) {
        const HttpResult failed = Get("/v1/smsnotify/register/" + std::string(kPhone));
        EXPECT_EQ(failed.ret(), kRetInternal) << failed.body;
    }
    EXPECT_EQ(CountRows(app_->database(), "sms_codes"), 0);
    EXPECT_EQ(CountRows(app_->database(), "sms_sent"), 0);

    Restart(good);
    const std::string code = RequestCode("register", kPhone);
    ASSERT_EQ(code.size(), 6u);
    EXPECT_EQ(Register(kPhone, "pw", code).ret(), kRetOk);
}

// Runs every statement on the real database, except the one `fails` picks
// out, which answers kFailed as a read the database lost would.
class StatementFailingDatabase final : public Database {
  public:
    StatementFailingDatabase(Database& inner, std::string fails)
        : inner_(inner), fails_(std::move(fails)) {}
    bool Transact(const std::function<bool(Session&)>& work) override {
        return inner_.Transact([&](Session& s) {
            FailingSession failing(s, *this);
            return work(failing);
        });
    }
    const char* Kind() const override { return inner_.Kind(); }
    int hits() const { return hits_; }

  private:
    class FailingSession final : public Session {
      public:
        FailingSession(Session& inner, StatementFailingDatabase& db) : inner_(inner), db_(db) {}
        SqlResult Run(std::string_view sql, const SqlParams& params, SqlRows* rows) override {
            if (sql.ends_with(db_.fails_)) {
                ++db_.hits_;
                return SqlResult::kFailed;
            }
            return inner_.Run(sql, params, rows);
        }
        bool Script(std::string_view sql) override { return inner_.Script(sql); }
        bool LockKey(std::int64_t key) override { return inner_.LockKey(key); }

      private:
        Session& inner_;
        StatementFailingDatabase& db_;
    };

    Database& inner_;
    std::string fails_;
    std::atomic<int> hits_ = 0;
};

// An unreadable count or lockout is no zero: the request fails and nothing is
// sent or let through.
TEST_F(FailedWrites, UnreadableLimitsAnswerTheServiceError) {
    RegisterUser(kPhone, "pw");
    const std::string outbox = dir_->path() + "/unread-outbox.txt";
    OutboxSmsSender sender(outbox);
    PasswordHasher hasher(HashCost{options_.hash_ops, options_.hash_memory_bytes}, 1);
    const Clock clock = [now = now_] { return now->load(); };
    auto check = [&](const char* read, const std::function<Reply(AccountService&)>& request) {
        SCOPED_TRACE(read);
        StatementFailingDatabase db(app_->database(), read);
        VerificationCodes codes(db, sender, clock);
        AccountService accounts(db, hasher, codes, clock);
        EXPECT_EQ(request(accounts).ret, kRetInternal);
        EXPECT_GT(db.hits(), 0) << "no statement ends so";
    };
    for (const char* read :
         {"FROM sms_codes WHERE mobilephone = ?1", "sent_at > ?1 AND mobilephone = ?2",
          "sent_at > ?1 AND client_ip = ?2", "FROM sms_sent WHERE sent_at > ?1"}) {
        check(read, [](AccountService& accounts) {
            return accounts.RequestCode("13700137001", CodePurpose::kRegister, "198.51.100.7");
        });
    }
    EXPECT_EQ(ReadFile(outbox), "");
    check("AND client_ip IN (?2, '') AND locked_until > ?3",
          [](AccountService& accounts) { return accounts.Login(kPhone, "pw", "198.51.100.7"); });
}

std::int64_t PgNumber(PGconn* conn, const char* sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn, sql), PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
        return -1;
    }
    return std::atoll(PQgetvalue(result.get(), 0, 0));
}

// The server ends every connection of the service, as a restart would.
TEST_F(FailedWrites, LostConnectionsAreAnsweredAsFailures) {
    if (!TestingPostgres()) {
        GTEST_SKIP() << "lost connections under PostgreSQL only";
    }
    std::unique_ptr<PGconn, decltype(&PQfinish)> admin(PQconnectdb(options_.database.c_str()),
                                                       PQfinish);
    ASSERT_EQ(PQstatus(admin.get()), CONNECTION_OK) << PQerrorMessage(admin.get());
    constexpr const char* kOthers = "FROM pg_stat_activity WHERE datname = current_database() "
                                    "AND pid <> pg_backend_pid()";
    ASSERT_GT(PgNumber(admin.get(),
                       (std::string("SELECT COUNT(pg_terminate_backend(pid)) ") + kOthers).c_str()),
              0);
    // Ending a backend takes a moment; the service must not win that race.
    const std::string count = std::string("SELECT COUNT(*) ") + kOthers;
    while (PgNumber(admin.get(), count.c_str()) > 0) {
        std::this_thread::yield();
    }
    Tally tally;
    for (int i = 0; i < 10; ++i) {
        PostFeedback("after the restart " + std::to_string(i), &tally);
    }
    EXPECT_GT(tally.refused, 0);
    EXPECT_GT(tally.acknowledged, 0) << "the next request reconnects";
    EXPECT_EQ(tally.other, 0);
    EXPECT_EQ(CountRows(app_->database(), "feedback"), tally.acknowledged);
}

// A small tmpfs of our own; unmounted lazily, so that files still open in the
// service do not keep it busy.
class SmallTmpfs {
  public:
    SmallTmpfs(std::string path, const std::string& size) : path_(std::move(path)) {
        std::filesystem::create_directories(path_);
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0) {
            mounted_ = true;
        } else {
            error_ = std::strerror(errno);
        }
    }
    ~SmallTmpfs() {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string error_;
    bool mounted_ = false;
};

// 3 MB fill up at a COMMIT; in 8 MB the log grows past the checkpoint
// threshold first, so that the checkpoints meet the full disk too.
TEST_F(FailedWrites, FullDiskAnswersEveryLostWriteAsFailed) {
    if (TestingPostgres()) {
        GTEST_SKIP() << "a full disk under SQLite only";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    for (const std::string size : {"3m", "8m"}) {
        SmallTmpfs disk(dir_->path() + "/small-" + size, size);
        if (!disk.mounted()) {
            GTEST_SKIP() << "cannot mount a tmpfs: " << disk.error();
        }
        ServiceOptions options = options_;
        options.database = disk.path() + "/service.db";
        Restart(options);
        Tally tally;
        const std::string content(6000, 'f');
        for (int i = 0; i < 2000 && tally.refused < 20; ++i) {
            PostFeedback(content, &tally);
        }
        ASSERT_GT(tally.refused, 0) << "the disk never filled";
        EXPECT_EQ(tally.other, 0);
        EXPECT_EQ(CountRows(app_->database(), "feedback"), tally.acknowledged);

        // What was acknowledged is still there after a restart on the full disk.
        Restart(options);
        EXPECT_EQ(CountRows(app_->database(), "feedback"), tally.acknowledged);
        std::printf("%s full: %lld feedback posts acknowledged, %lld refused, %lld stored\n",
                    size.c_str(), static_cast<long long>(tally.acknowledged),
                    static_cast<long long>(tally.refused),
                    static_cast<long long>(CountRows(app_->database(), "feedback")));
        StopService();
    }
}

} // namespace
} // namespace velquist::service::testing
