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

AccountService::Found AccountService::FindUser(Session& s, const std::string& phone, UserRow* row) {
    SqlRows rows;
    if (s.Run("SELECT id, password_hash, last_login_ip, last_login_time, register_time, "
              "failed_logins, locked_until FROM users WHERE mobilephone = ?1",
              {phone}, &rows) != SqlResult::kOk) {
        return Found::kFailed;
    }
    if (rows.empty()) {
        return Found::kNo;
    }
    const SqlRow& r = rows[0];
    row->id = r.Int(0);
    row->password_hash = r.Text(1);
    row->last_login_ip = r.Text(2);
    row->last_login_time = r.Int(3);
    row->register_time = r.Int(4);
    row->failed_logins = r.Int(5);
    row->locked_until = r.Int(6);
    return Found::kYes;
}

// Inside the transaction of a code request: kRetOk once a code is stored in
// `issued`; otherwise the answer is in `reply`, or the database failed
// (kRetInternal).
int AccountService::StoreCode(Session& s, const std::string& phone, CodePurpose purpose,
                              const std::string& ip, Reply* reply, IssuedCode* issued) {
    // Codes go out one at a time in all instances together, so that the
    // sending limits count every code exactly.
    UserRow row;
    const Found found =
        s.LockKey(LockKeyOf("sms", "issue")) ? FindUser(s, phone, &row) : Found::kFailed;
    if (found == Found::kFailed) {
        return kRetInternal;
    }
    // No code goes out for a request that cannot succeed; the submission
    // then tells the user why (already registered / unknown user).
    if (purpose == CodePurpose::kRegister && found == Found::kYes) {
        *reply = Fail(kRetUserExists);
        return kRetUserExists;
    }
    if (purpose == CodePurpose::kForgot && found == Found::kNo) {
        *reply = Fail(kRetUnknownUser);
        return kRetUnknownUser;
    }
    const int ret = codes_.Issue(s, phone, purpose, AddressGroup(ip), issued);
    if (ret == kRetCodeTooSoon) {
        *reply = Fail(ret, 429);
    }
    return ret;
}

Reply AccountService::RequestCode(const std::string& phone, CodePurpose purpose,
                                  const std::string& ip) {
    if (!IsValidPhone(phone)) {
        return Fail(kRetInvalidPhone, 400);
    }
    Reply reply;
    IssuedCode issued;
    int ret = kRetInternal;
    const bool committed = db_.Transact([&](Session& s) {
        ret = StoreCode(s, phone, purpose, ip, &reply, &issued);
        // A request the database could not decide leaves no code and no count.
        return ret != kRetInternal;
    });
    // Sent only once committed: a phone must never get a code the database
    // does not hold.
    if (!committed || (ret == kRetOk && codes_.Send(issued) != kRetOk)) {
        return Fail(kRetInternal, 503);
    }
    return reply;
}

int AccountService::CodeVerdict(Session& s, const std::string& phone, CodePurpose purpose,
                                const std::string& code, bool use_up) {
    UserRow row;
    const Found found = FindUser(s, phone, &row);
    if (found == Found::kFailed) {
        return kRetInternal;
    }
    if (purpose == CodePurpose::kForgot && found == Found::kNo) {
        return kRetUnknownUser;
    }
    if (purpose == CodePurpose::kRegister && found == Found::kYes) {
        return kRetUserExists;
    }
    return use_up ? codes_.Consume(s, phone, purpose, code) : codes_.Check(s, phone, purpose, code);
}

// A wrong code is turned away (and counted) before the costly hash; a right
// one is used up only in the transaction that writes what it allows, so that
// a write that fails leaves the code usable.
int AccountService::PreCheckCode(const std::string& phone, CodePurpose purpose,
                                 const std::string& code) {
    int ret = kRetInternal;
    const bool done = db_.Transact([&](Session& s) {
        if (!s.LockKey(PhoneKey(phone))) {
            return false;
        }
        ret = CodeVerdict(s, phone, purpose, code, false);
        return ret != kRetInternal;
    });
    return done ? ret : kRetInternal;
}

bool AccountService::CreateUser(Session& s, const std::string& phone, const std::string& hash,
                                Reply* reply, bool* lost_race) {
    SqlRows rows;
    const SqlResult result = s.Run("INSERT INTO users (mobilephone, password_hash, register_time) "
                                   "VALUES (?1, ?2, ?3) RETURNING id",
                                   {phone, hash, clock_()}, &rows);
    *lost_race = result == SqlResult::kConflict;
    // Owning the number lifts what was counted against it while it had no account.
    if (result != SqlResult::kOk || rows.empty() ||
        s.Run("DELETE FROM login_failures WHERE mobilephone = ?1", {phone}) != SqlResult::kOk) {
        return false;
    }
    *reply = Reply{};
    reply->data["id"] = static_cast<Json::Int64>(rows[0].Int(0));
    reply->data["mobilephone"] = phone;
    return true;
}

Reply AccountService::Register(const std::string& phone, const std::string& password,
                               const std::string& code) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret);
    }
    if (const int ret = PreCheckCode(phone, CodePurpose::kRegister, code); ret != kRetOk) {
        return Fail(ret);
    }
    const auto hash = hasher_.Hash(password);
    if (!hash) {
        return Fail(kRetInternal);
    }
    Reply reply = Fail(kRetInternal);
    bool lost_race = false;
    const bool committed = db_.Transact([&](Session& s) {
        if (!s.LockKey(PhoneKey(phone))) {
            return false;
        }
        if (const int ret = CodeVerdict(s, phone, CodePurpose::kRegister, code, true);
            ret != kRetOk) {
            reply = Fail(ret);
            return ret != kRetInternal;
        }
        return CreateUser(s, phone, *hash, &reply, &lost_race);
    });
    if (lost_race) {
        return Fail(kRetUserExists);
    }
    return committed ? reply : Fail(kRetInternal);
}

Reply AccountService::Forgot(const std::string& phone, const std::string& password,
                             const std::string& code) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret == kRetInvalidPhone ? kRetUnknownUser : ret);
    }
    if (const int ret = PreCheckCode(phone, CodePurpose::kForgot, code); ret != kRetOk) {
        return Fail(ret);
    }
    const auto hash = hasher_.Hash(password);
    if (!hash) {
        return Fail(kRetInternal);
    }
    Reply reply = Fail(kRetInternal);
    const bool committed = db_.Transact([&](Session& s) {
        if (!s.LockKey(PhoneKey(phone))) {
            return false;
        }
        if (const int ret = CodeVerdict(s, phone, CodePurpose::kForgot, code, true);
            ret != kRetOk) {
            reply = Fail(ret);
            return ret != kRetInternal;
        }
        reply = Reply{};
        // A reset by someone who owns the phone also lifts every lockout.
        return s.Run("UPDATE users SET password_hash = ?2, failed_logins = 0, locked_until = 0 "
                     "WHERE mobilephone = ?1",
                     {phone, *hash}) == SqlResult::kOk &&
               s.Run("DELETE FROM login_failures WHERE mobilephone = ?1", {phone}) ==
                   SqlResult::kOk;
    });
    return committed ? reply : Fail(kRetInternal);
}

Reply AccountService::Login(const std::string& phone, const std::string& password,
                            const std::string& ip) {
    if (const int ret = ValidateCredentials(phone, password); ret != kRetOk) {
        return Fail(ret);
    }
    UserRow row;
    Found found = Found::kFailed;
    bool locked = false;
    const bool read = db_.Transact([&](Session& s) {
        found = FindUser(s, phone, &row);
        return found != Found::kFailed && IsLocked(s, phone, row, ip, clock_(), &locked);
    });
    if (!read) {
        return Fail(kRetInternal);
    }
    if (locked) {
        return Fail(kRetAccountLocked);
    }
    if (found == Found::kNo) {
        // The same hashing time and the same failure count as a wrong password.
        hasher_.VerifyDummy(password);
        return Decide(phone, ip, std::string(), false, std::nullopt);
    }
    const bool match = hasher_.Verify(row.password_hash, password);
    // A changed hash cost reaches old accounts at their next login.
    std::optional<std::string> rehashed;
    if (match && hasher_.NeedsRehash(row.password_hash)) {
        rehashed = hasher_.Hash(password);
    }
    return Decide(phone, ip, row.password_hash, match, rehashed);
}

// Records the outcome of a checked password in one transaction. A number
// without an account comes with an empty `verified_hash`, which no account has.
Reply AccountService::Decide(const std::string& phone, const std::string& ip,
                             const std::string& verified_hash, bool match,
                             const std::optional<std::string>& rehashed) {
    Reply reply = Fail(kRetWrongPassword);
    const bool done = db_.Transact([&](Session& s) {
        UserRow row;
        // Re-read: other attempts may have locked the account while we hashed.
        if (!s.LockKey(PhoneKey(phone)) || FindUser(s, phone, &row) == Found::kFailed) {
            return false;
        }
        const std::int64_t now = clock_();
        bool locked = false;
        if (!IsLocked(s, phone, row, ip, now, &locked)) {
            return false;
        }
        if (locked) {
            reply = Fail(kRetAccountLocked);
            return true;
        }
        if (row.password_hash != verified_hash) {
            // Reset (or registered) while we hashed: the answer is about a
            // password that no longer counts.
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
                              const std::string& ip, std::int64_t now, bool* locked) {
    SqlRows rows;
    if (s.Run("SELECT client_ip FROM login_failures WHERE mobilephone = ?1 "
              "AND client_ip IN (?2, '') AND locked_until > ?3",
              {phone, AddressGroup(ip), now}, &rows) != SqlResult::kOk) {
        return false;
    }
    *locked = false;
    for (const SqlRow& r : rows) {
        const bool whole_account = r.Text(0).empty();
        if (!whole_account || ip != row.last_login_ip) {
            *locked = true;
        }
    }
    return true;
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
    // kOk only once committed: a full disk answers a failure, never a lost thank-you.
    const SqlResult stored = db_.Query("INSERT INTO feedback (content, contact, remote_ip, "
                                       "created_at) VALUES (?1, ?2, ?3, ?4)",
                                       {content, contact, ip, clock_()});
    return stored == SqlResult::kOk ? Reply{} : Fail(kRetInternal);
}

} // namespace velquist::service
