#include "accounts.h"

#include "ret_codes.h"
#include "validate.h"

#include <optional>

namespace velquist::service {
namespace {

int ValidateCredentials(const std::string& phone, const std::string& password) {
    if (!IsValidPhone(phone)) {
        return kRetInvalidPhone;
    }
    if (!IsValidPassword(password)) {
        return kRetInvalidPassword;
    }
    return kRetOk;
}

} // namespace

AccountService::AccountService(Database& db, PasswordHasher& hasher, VerificationCodes& codes,
                               Clock clock, LockoutRules lockout)
    : db_(db), hasher_(hasher), codes_(codes), clock_(std::move(clock)), lockout_(lockout) {}

bool AccountService::FindUser(const std::string& phone, UserRow* row) {
    Statement stmt =
        db_.Prepare("SELECT id, password_hash, last_login_ip, last_login_time, register_time, "
                    "failed_logins, locked_until FROM users WHERE mobilephone = ?1");
    stmt.Bind(1, phone);
    if (stmt.Step() != SQLITE_ROW) {
        return false;
    }
    row->id = stmt.Int(0);
    row->password_hash = stmt.Text(1);
    row->last_login_ip = stmt.Text(2);
    row->last_login_time = stmt.Int(3);
    row->register_time = stmt.Int(4);
    row->failed_logins = stmt.Int(5);
    row->locked_until = stmt.Int(6);
    return true;
}

bool AccountService::UserExists(const std::string& phone) {
    UserRow row;
    return FindUser(phone, &row);
}

Reply AccountService::RequestCode(const std::string& phone, CodePurpose purpose,
                                  const std::string& ip) {
    if (!IsValidPhone(phone)) {
        return Fail(kRetInvalidPhone, 400);
    }
    auto lock = db_.Lock();
    // No code goes out for a request that cannot succeed; the submission then
    // tells the user why (already registered / unknown user).
    const bool exists = UserExists(phone);
    if (purpose == CodePurpose::kRegister && exists) {
        return Fail(kRetUserExists);
    }
    if (purpose == CodePurpose::kForgot && !exists) {
        return Fail(kRetUnknownUser);
    }
    const int ret = codes_.Issue(phone, purpose, AddressGroup(ip));
    if (ret == kRetCodeTooSoon) {
        return Fail(ret, 429);
    }
    if (ret != kRetOk) {
        return Fail(ret, 503);
    }
    return Reply{};
}

int AccountService::CheckCode(const std::string& phone, CodePurpose purpose, bool must_exist,
                              const std::string& code) {
    auto lock = db_.Lock();
    const bool exists = UserExists(phone);
    if (must_exist && !exists) {
        return kRetUnknownUser;
    }
    if (!must_exist && exists) {
        return kRetUserExists;
    }
    return codes_.Consume(phone, purpose, code);
}

Reply AccountService::Register(const std::string& phone, const std::string& password,
                               const std::string& code) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret);
    }
    if (const int ret = CheckCode(phone, CodePurpose::kRegister, false, code); ret != kRetOk) {
        return Fail(ret);
    }
    const auto hash = hasher_.Hash(password);
    if (!hash) {
        return Fail(kRetInternal);
    }
    auto lock = db_.Lock();
    const bool inserted = db_.Prepare("INSERT INTO users (mobilephone, password_hash, "
                                      "register_time) VALUES (?1, ?2, ?3)")
                              .Bind(1, phone)
                              .Bind(2, *hash)
                              .Bind(3, clock_())
                              .Run();
    if (!inserted) {
        // Lost a race with a second registration of the same phone.
        return Fail(UserExists(phone) ? kRetUserExists : kRetInternal);
    }
    Reply reply;
    reply.data["id"] = static_cast<Json::Int64>(db_.LastInsertId());
    reply.data["mobilephone"] = phone;
    return reply;
}

Reply AccountService::Forgot(const std::string& phone, const std::string& password,
                             const std::string& code) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret == kRetInvalidPhone ? kRetUnknownUser : ret);
    }
    if (const int ret = CheckCode(phone, CodePurpose::kForgot, true, code); ret != kRetOk) {
        return Fail(ret);
    }
    const auto hash = hasher_.Hash(password);
    if (!hash) {
        return Fail(kRetInternal);
    }
    auto lock = db_.Lock();
    // A reset by someone who owns the phone also lifts every lockout.
    const bool updated =
        db_.Prepare("UPDATE users SET password_hash = ?2, failed_logins = 0, "
                    "locked_until = 0 WHERE mobilephone = ?1")
            .Bind(1, phone)
            .Bind(2, *hash)
            .Run() &&
        db_.Prepare("DELETE FROM login_failures WHERE mobilephone = ?1").Bind(1, phone).Run();
    return updated ? Reply{} : Fail(kRetInternal);
}

Reply AccountService::Login(const std::string& phone, const std::string& password,
                            const std::string& ip) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret);
    }
    UserRow row;
    bool found = false;
    {
        auto lock = db_.Lock();
        found = FindUser(phone, &row);
    }
    if (!found) {
        hasher_.VerifyDummy(password);
        return Fail(kRetWrongPassword);
    }
    {
        auto lock = db_.Lock();
        if (IsLocked(phone, row, ip, clock_())) {
            return Fail(kRetAccountLocked);
        }
    }
    const std::string verified_hash = row.password_hash;
    const bool match = hasher_.Verify(verified_hash, password);
    // A changed hash cost reaches old accounts at their next login.
    std::optional<std::string> rehashed;
    if (match && hasher_.NeedsRehash(row.password_hash)) {
        rehashed = hasher_.Hash(password);
    }
    auto lock = db_.Lock();
    // Re-read: other attempts may have locked the account while we hashed.
    if (!FindUser(phone, &row)) {
        return Fail(kRetWrongPassword);
    }
    const std::int64_t now = clock_();
    if (IsLocked(phone, row, ip, now)) {
        return Fail(kRetAccountLocked);
    }
    if (row.password_hash != verified_hash) {
        // Reset while we hashed: the answer is about a password that no longer counts.
        return Fail(kRetWrongPassword);
    }
    if (!match) {
        return RecordFailure(phone, ip, now);
    }
    if (rehashed) {
        db_.Prepare("UPDATE users SET password_hash = ?2 WHERE mobilephone = ?1")
            .Bind(1, phone)
            .Bind(2, *rehashed)
            .Run();
    }
    return RecordSuccess(phone, row, ip, now);
}

// The whole account's row has the empty address.
bool AccountService::IsLocked(const std::string& phone, const UserRow& row, const std::string& ip,
                              std::int64_t now) {
    Statement stmt = db_.Prepare("SELECT client_ip FROM login_failures WHERE mobilephone = ?1 "
                                 "AND client_ip IN (?2, '') AND locked_until > ?3");
    stmt.Bind(1, phone).Bind(2, AddressGroup(ip)).Bind(3, now);
    while (stmt.Step() == SQLITE_ROW) {
        const bool whole_account = stmt.Text(0).empty();
        if (!whole_account || ip != row.last_login_ip) {
            return true;
        }
    }
    return false;
}

// Counts one failure against `key`; failures older than the lock time have
// lapsed. Reaching `limit` locks and starts the count afresh.
int AccountService::CountFailure(const std::string& phone, const std::string& key, int limit,
                                 std::int64_t now) {
    Statement upsert =
        db_.Prepare("INSERT INTO login_failures (mobilephone, client_ip, failures, locked_until, "
                    "last_failure_at) VALUES (?1, ?2, 1, 0, ?3) "
                    "ON CONFLICT (mobilephone, client_ip) DO UPDATE SET "
                    "failures = CASE WHEN login_failures.last_failure_at <= ?3 - ?4 THEN 1 "
                    "ELSE login_failures.failures + 1 END, last_failure_at = ?3 "
                    "RETURNING failures");
    upsert.Bind(1, phone).Bind(2, key).Bind(3, now).Bind(4, lockout_.lock_seconds);
    const std::int64_t failures = upsert.Step() == SQLITE_ROW ? upsert.Int(0) : 0;
    upsert.Run();
    if (failures < limit) {
        return static_cast<int>(failures);
    }
    db_.Prepare("UPDATE login_failures SET failures = 0, locked_until = ?3 "
                "WHERE mobilephone = ?1 AND client_ip = ?2")
        .Bind(1, phone)
        .Bind(2, key)
        .Bind(3, now + lockout_.lock_seconds)
        .Run();
    return static_cast<int>(failures);
}

Reply AccountService::RecordFailure(const std::string& phone, const std::string& ip,
                                    std::int64_t now) {
    CountFailure(phone, AddressGroup(ip), lockout_.max_failures, now);
    CountFailure(phone, std::string(), lockout_.max_account_failures, now);
    // Rows of addresses that gave up long ago.
    db_.Prepare("DELETE FROM login_failures WHERE last_failure_at < ?1 AND locked_until < ?1")
        .Bind(1, now - 24 * 3600)
        .Run();
    return Fail(kRetWrongPassword);
}

Reply AccountService::RecordSuccess(const std::string& phone, const UserRow& row,
                                    const std::string& ip, std::int64_t now) {
    db_.Prepare("UPDATE users SET last_login_ip = ?2, last_login_time = ?3 WHERE mobilephone = ?1")
        .Bind(1, phone)
        .Bind(2, ip)
        .Bind(3, now)
        .Run();
    db_.Prepare("DELETE FROM login_failures WHERE mobilephone = ?1 AND client_ip IN (?2, '')")
        .Bind(1, phone)
        .Bind(2, AddressGroup(ip))
        .Run();
    // The client reads these as 32-bit numbers after asString; plain JSON
    // integers satisfy both.
    Reply reply;
    reply.data["id"] = static_cast<Json::Int64>(row.id);
    reply.data["mobilephone"] = phone;
    reply.data["last_login_ip"] = row.last_login_ip;
    reply.data["last_login_time"] = static_cast<Json::Int64>(row.last_login_time);
    reply.data["register_time"] = static_cast<Json::Int64>(row.register_time);
    return reply;
}

Reply FeedbackStore::Submit(const std::string& content, const std::string& contact,
                            const std::string& ip) {
    if (content.empty() || contact.empty() || !IsValidUtf8(content) || !IsValidUtf8(contact)) {
        return Fail(kRetInvalidFeedback);
    }
    auto lock = db_.Lock();
    const bool stored = db_.Prepare("INSERT INTO feedback (content, contact, remote_ip, "
                                    "created_at) VALUES (?1, ?2, ?3, ?4)")
                            .Bind(1, content)
                            .Bind(2, contact)
                            .Bind(3, ip)
                            .Bind(4, clock_())
                            .Run();
    return stored ? Reply{} : Fail(kRetInternal);
}

} // namespace velquist::service
