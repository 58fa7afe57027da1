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

// Requests about one phone take turns in every instance.
std::int64_t PhoneKey(const std::string& phone) {
    return LockKeyOf("phone", phone);
}

} // namespace

AccountService::AccountService(Database& db, PasswordHasher& hasher, VerificationCodes& codes,
                               Clock clock, LockoutRules lockout)
    : db_(db), hasher_(hasher), codes_(codes), clock_(std::move(clock)), lockout_(lockout) {}

bool AccountService::FindUser(Session& s, const std::string& phone, UserRow* row) {
    SqlRows rows;
    if (s.Run("SELECT id, password_hash, last_login_ip, last_login_time, register_time, "
              "failed_logins, locked_until FROM users WHERE mobilephone = ?1",
              {phone}, &rows) != SqlResult::kOk ||
        rows.empty()) {
        return false;
    }
    const SqlRow& r = rows[0];
    row->id = r.Int(0);
    row->password_hash = r.Text(1);
    row->last_login_ip = r.Text(2);
    row->last_login_time = r.Int(3);
    row->register_time = r.Int(4);
    row->failed_logins = r.Int(5);
    row->locked_until = r.Int(6);
    return true;
}

bool AccountService::UserExists(Session& s, const std::string& phone) {
    UserRow row;
    return FindUser(s, phone, &row);
}

Reply AccountService::RequestCode(const std::string& phone, CodePurpose purpose,
                                  const std::string& ip) {
    if (!IsValidPhone(phone)) {
        return Fail(kRetInvalidPhone, 400);
    }
    Reply reply;
    const bool done = db_.Transact([&](Session& s) {
        // Codes go out one at a time in all instances together, so that the
        // sending limits count every code exactly.
        if (!s.LockKey(LockKeyOf("sms", "issue"))) {
            return false;
        }
        // No code goes out for a request that cannot succeed; the submission
        // then tells the user why (already registered / unknown user).
        const bool exists = UserExists(s, phone);
        if (purpose == CodePurpose::kRegister && exists) {
            reply = Fail(kRetUserExists);
            return true;
        }
        if (purpose == CodePurpose::kForgot && !exists) {
            reply = Fail(kRetUnknownUser);
            return true;
        }
        const int ret = codes_.Issue(s, phone, purpose, AddressGroup(ip));
        if (ret == kRetCodeTooSoon) {
            reply = Fail(ret, 429);
        }
        // Nothing went out: no code and no count stay behind.
        return ret == kRetOk || ret == kRetCodeTooSoon;
    });
    return done ? reply : Fail(kRetInternal, 503);
}

int AccountService::CheckCode(const std::string& phone, CodePurpose purpose, bool must_exist,
                              const std::string& code) {
    int ret = kRetInternal;
    const bool done = db_.Transact([&](Session& s) {
        if (!s.LockKey(PhoneKey(phone))) {
            return false;
        }
        const bool exists = UserExists(s, phone);
        if (must_exist && !exists) {
            ret = kRetUnknownUser;
        } else if (!must_exist && exists) {
            ret = kRetUserExists;
        } else {
            ret = codes_.Consume(s, phone, purpose, code);
        }
        return ret != kRetInternal;
    });
    return done ? ret : kRetInternal;
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
    SqlRows rows;
    SqlResult result = SqlResult::kFailed;
    db_.Transact([&](Session& s) {
        result = s.Run("INSERT INTO users (mobilephone, password_hash, register_time) "
                       "VALUES (?1, ?2, ?3) RETURNING id",
                       {phone, *hash, clock_()}, &rows);
        return result == SqlResult::kOk;
    });
    if (result == SqlResult::kConflict) {
        // Lost a race with a second registration of the same phone.
        return Fail(kRetUserExists);
    }
    if (result != SqlResult::kOk || rows.empty()) {
        return Fail(kRetInternal);
    }
    Reply reply;
    reply.data["id"] = static_cast<Json::Int64>(rows[0].Int(0));
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
    // A reset by someone who owns the phone also lifts every lockout.
    const bool updated = db_.Transact([&](Session& s) {
        return s.Run("UPDATE users SET password_hash = ?2, failed_logins = 0, locked_until = 0 "
                     "WHERE mobilephone = ?1",
                     {phone, *hash}) == SqlResult::kOk &&
               s.Run("DELETE FROM login_failures WHERE mobilephone = ?1", {phone}) ==
                   SqlResult::kOk;
    });
    return updated ? Reply{} : Fail(kRetInternal);
}

Reply AccountService::Login(const std::string& phone, const std::string& password,
                            const std::string& ip) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret);
    }
    UserRow row;
    bool found = false;
    bool locked = false;
    const bool read = db_.Transact([&](Session& s) {
        found = FindUser(s, phone, &row);
        locked = found && IsLocked(s, phone, row, ip, clock_());
        return true;
    });
    if (!read) {
        return Fail(kRetInternal);
    }
    if (!found) {
        hasher_.VerifyDummy(password);
        return Fail(kRetWrongPassword);
    }
    if (locked) {
        return Fail(kRetAccountLocked);
    }
    const bool match = hasher_.Verify(row.password_hash, password);
    // A changed hash cost reaches old accounts at their next login.
    std::optional<std::string> rehashed;
    if (match && hasher_.NeedsRehash(row.password_hash)) {
        rehashed = hasher_.Hash(password);
    }
    return Decide(phone, ip, row.password_hash, match, rehashed);
}

// Records the outcome of a checked password in one transaction.
Reply AccountService::Decide(const std::string& phone, const std::string& ip,
                             const std::string& verified_hash, bool match,
                             const std::optional<std::string>& rehashed) {
    Reply reply = Fail(kRetWrongPassword);
    const bool done = db_.Transact([&](Session& s) {
        UserRow row;
        // Re-read: other attempts may have locked the account while we hashed.
        if (!s.LockKey(PhoneKey(phone)) || !FindUser(s, phone, &row)) {
            return true;
        }
        const std::int64_t now = clock_();
        if (IsLocked(s, phone, row, ip, now)) {
            reply = Fail(kRetAccountLocked);
            return true;
        }
        if (row.password_hash != verified_hash) {
            // Reset while we hashed: the answer is about a password that no longer counts.
            return true;
        }
        if (!match) {
            return RecordFailure(s, phone, ip, now);
        }
        if (rehashed && s.Run("UPDATE users SET password_hash = ?2 WHERE mobilephone = ?1",
                              {phone, *rehashed}) != SqlResult::kOk) {
            return false;
        }
        return RecordSuccess(s, phone, row, ip, now, &reply);
    });
    return done ? reply : Fail(kRetInternal);
}

// The whole account's row has the empty address.
bool AccountService::IsLocked(Session& s, const std::string& phone, const UserRow& row,
                              const std::string& ip, std::int64_t now) {
    SqlRows rows;
    s.Run("SELECT client_ip FROM login_failures WHERE mobilephone = ?1 "
          "AND client_ip IN (?2, '') AND locked_until > ?3",
          {phone, AddressGroup(ip), now}, &rows);
    for (const SqlRow& r : rows) {
        const bool whole_account = r.Text(0).empty();
        if (!whole_account || ip != row.last_login_ip) {
            return true;
        }
    }
    return false;
}

// Counts one failure against `key`; failures older than the lock time have
// lapsed. Reaching `limit` locks and starts the count afresh.
bool AccountService::CountFailure(Session& s, const std::string& phone, const std::string& key,
                                  int limit, std::int64_t now) {
    SqlRows rows;
    if (s.Run("INSERT INTO login_failures (mobilephone, client_ip, failures, locked_until, "
              "last_failure_at) VALUES (?1, ?2, 1, 0, ?3) "
              "ON CONFLICT (mobilephone, client_ip) DO UPDATE SET "
              "failures = CASE WHEN login_failures.last_failure_at <= ?4 THEN 1 "
              "ELSE login_failures.failures + 1 END, last_failure_at = ?3 "
              "RETURNING failures",
              {phone, key, now, now - lockout_.lock_seconds}, &rows) != SqlResult::kOk ||
        rows.empty()) {
        return false;
    }
    if (rows[0].Int(0) < limit) {
        return true;
    }
    return s.Run("UPDATE login_failures SET failures = 0, locked_until = ?3 "
                 "WHERE mobilephone = ?1 AND client_ip = ?2",
                 {phone, key, now + lockout_.lock_seconds}) == SqlResult::kOk;
}

bool AccountService::RecordFailure(Session& s, const std::string& phone, const std::string& ip,
                                   std::int64_t now) {
    // Rows of addresses that gave up long ago go too.
    return CountFailure(s, phone, AddressGroup(ip), lockout_.max_failures, now) &&
           CountFailure(s, phone, std::string(), lockout_.max_account_failures, now) &&
           s.Run("DELETE FROM login_failures WHERE last_failure_at < ?1 AND locked_until < ?1",
                 {now - 24 * 3600}) == SqlResult::kOk;
}

bool AccountService::RecordSuccess(Session& s, const std::string& phone, const UserRow& row,
                                   const std::string& ip, std::int64_t now, Reply* reply) {
    if (s.Run("UPDATE users SET last_login_ip = ?2, last_login_time = ?3 WHERE mobilephone = ?1",
              {phone, ip, now}) != SqlResult::kOk ||
        s.Run("DELETE FROM login_failures WHERE mobilephone = ?1 AND client_ip IN (?2, '')",
              {phone, AddressGroup(ip)}) != SqlResult::kOk) {
        return false;
    }
    // The client reads these as 32-bit numbers after asString; plain JSON
    // integers satisfy both.
    *reply = Reply{};
    reply->data["id"] = static_cast<Json::Int64>(row.id);
    reply->data["mobilephone"] = phone;
    reply->data["last_login_ip"] = row.last_login_ip;
    reply->data["last_login_time"] = static_cast<Json::Int64>(row.last_login_time);
    reply->data["register_time"] = static_cast<Json::Int64>(row.register_time);
    return true;
}

Reply FeedbackStore::Submit(const std::string& content, const std::string& contact,
                            const std::string& ip) {
    // A NUL byte is valid UTF-8 but no text a person typed, and no database
    // column of text takes it everywhere.
    const bool has_nul =
        content.find('\0') != std::string::npos || contact.find('\0') != std::string::npos;
    if (content.empty() || contact.empty() || has_nul || !IsValidUtf8(content) ||
        !IsValidUtf8(contact)) {
        return Fail(kRetInvalidFeedback);
    }
    const SqlResult stored = db_.Query("INSERT INTO feedback (content, contact, remote_ip, "
                                       "created_at) VALUES (?1, ?2, ?3, ?4)",
                                       {content, contact, ip, clock_()});
    return stored == SqlResult::kOk ? Reply{} : Fail(kRetInternal);
}

} // namespace velquist::service
