#pragma once

#include "clock.h"
#include "database.h"
#include "password_hasher.h"
#include "reply.h"
#include "verification_codes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velquist::service {

// Wrong passwords are counted per number and client address: one address
// locks only itself out of the account. A higher count over all addresses
// together stops guessing spread over many, and spares the address of the
// account's last good login, so that its owner still gets in. Numbers without
// an account are counted and locked alike, so that no answer tells which
// numbers have one; their counts lapse like any other.
struct LockoutRules {
    int max_failures = 5;
    int max_account_failures = 20;
    std::int64_t lock_seconds = 15 * 60;
};

// Registration, password reset and login. Password hashing runs outside any
// transaction; every read-decide-write on the database runs inside one, so
// that instances sharing a database decide as one.
class AccountService {
  public:
    AccountService(Database& db, PasswordHasher& hasher, VerificationCodes& codes, Clock clock,
                   LockoutRules lockout = {});

    Reply RequestCode(const std::string& phone, CodePurpose purpose, const std::string& ip);
    Reply Register(const std::string& phone, const std::string& password, const std::string& code);
    Reply Forgot(const std::string& phone, const std::string& password, const std::string& code);
    Reply Login(const std::string& phone, const std::string& password, const std::string& ip);

  private:
    struct UserRow {
        std::int64_t id = 0;
        std::string password_hash;
        std::string last_login_ip;
        std::int64_t last_login_time = 0;
        std::int64_t register_time = 0;
        std::int64_t failed_logins = 0;
        std::int64_t locked_until = 0;
    };

    enum class Found { kYes, kNo, kFailed };

    // Leaves `row` as it was when the number has no account.
    static Found FindUser(Session& s, const std::string& phone, UserRow* row);
    // Inside a transaction holding the number's lock: whether `code` fits the
    // number and purpose, and, with `use_up`, marks it used.
    int CodeVerdict(Session& s, const std::string& phone, CodePurpose purpose,
                    const std::string& code, bool use_up);
    int StoreCode(Session& s, const std::string& phone, CodePurpose purpose, const std::string& ip,
                  Reply* reply, IssuedCode* issued);
    int PreCheckCode(const std::string& phone, CodePurpose purpose, const std::string& code);
    bool CreateUser(Session& s, const std::string& phone, const std::string& hash, Reply* reply,
                    bool* lost_race);
    // False when the database could not tell.
    bool IsLocked(Session& s, const std::string& phone, const UserRow& row, const std::string& ip,
                  std::int64_t now, bool* locked);
    bool CountFailure(Session& s, const std::string& phone, const std::string& key, int limit,
                      std::int64_t now);
    bool RecordFailure(Session& s, const std::string& phone, const std::string& ip,
                       std::int64_t now);
    bool RecordSuccess(Session& s, const std::string& phone, const UserRow& row,
                       const std::string& ip, std::int64_t now, Reply* reply);
    Reply Decide(const std::string& phone, const std::string& ip, const std::string& verified_hash,
                 bool match, const std::optional<std::string>& rehashed);

    Database& db_;
    PasswordHasher& hasher_;
    VerificationCodes& codes_;
    Clock clock_;
    LockoutRules lockout_;
};

// Stores what users send through the feedback form.
class FeedbackStore {
  public:
    FeedbackStore(Database& db, Clock clock) : db_(db), clock_(std::move(clock)) {}
    Reply Submit(const std::string& content, const std::string& contact, const std::string& ip);

  private:
    Database& db_;
    Clock clock_;
};

} // namespace velquist::service
