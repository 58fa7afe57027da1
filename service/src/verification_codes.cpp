#include "verification_codes.h"

#include "log_text.h"
#include "ret_codes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sodium.h>

namespace velquist::service {
namespace {

const char* PurposeName(CodePurpose purpose) {
    return purpose == CodePurpose::kRegister ? "register" : "forgot";
}

std::string NewCode() {
    char text[8];
    std::snprintf(text, sizeof text, "%06u", randombytes_uniform(1000000));
    return text;
}

} // namespace

VerificationCodes::VerificationCodes(Database& db, SmsSender& sender, Clock clock, CodeRules rules)
    : db_(db), sender_(sender), clock_(std::move(clock)), rules_(rules) {
    key_ready_ = LoadOrCreateKey();
}

// The key lives in the database so that a code sent just before a restart,
// or by another instance, still matches. The first instance to store one wins.
bool VerificationCodes::LoadOrCreateKey() {
    unsigned char fresh[sizeof key_];
    crypto_generichash_keygen(fresh);
    std::string stored;
    const bool done = db_.Transact([&](Session& s) {
        SqlRows rows;
        if (s.Run("INSERT INTO secrets (name, value) VALUES ('code_key', ?1) "
                  "ON CONFLICT (name) DO NOTHING",
                  {Blob{std::string(reinterpret_cast<const char*>(fresh), sizeof fresh)}}) !=
                SqlResult::kOk ||
            s.Run("SELECT value FROM secrets WHERE name = 'code_key'", {}, &rows) !=
                SqlResult::kOk ||
            rows.empty()) {
            return false;
        }
        stored = rows[0].Text(0);
        return true;
    });
    if (!done || stored.size() != sizeof key_) {
        return false;
    }
    std::copy(stored.begin(), stored.end(), key_);
    return true;
}

std::string VerificationCodes::HashCode(const std::string& phone, CodePurpose purpose,
                                        const std::string& code) const {
    const std::string input = phone + ":" + PurposeName(purpose) + ":" + code;
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(input.data()),
                       input.size(), key_, sizeof key_);
    return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

// A number that has never had a code reads as NULL; a failed read must never
// pass for that.
int VerificationCodes::CheckResendInterval(Session& s, const std::string& phone, std::int64_t now) {
    SqlRows rows;
    if (s.Run("SELECT MAX(issued_at) FROM sms_codes WHERE mobilephone = ?1", {phone}, &rows) !=
            SqlResult::kOk ||
        rows.empty()) {
        return kRetInternal;
    }
    if (rows[0].IsNull(0)) {
        return kRetOk;
    }
    const std::int64_t issued = rows[0].Int(0);
    const bool recent = now >= issued && now - issued < rules_.resend_interval_seconds;
    return recent ? kRetCodeTooSoon : kRetOk;
}

// A count that could not be read lifts no cap: the request fails instead.
int VerificationCodes::CheckCap(Session& s, const char* where, const std::string& key,
                                std::int64_t since, std::int64_t cap) {
    const std::string sql = std::string("SELECT COUNT(*) FROM sms_sent WHERE sent_at > ?1") + where;
    SqlParams params = {since};
    if (!key.empty()) {
        params.emplace_back(key);
    }
    SqlRows rows;
    if (s.Run(sql, params, &rows) != SqlResult::kOk || rows.empty()) {
        return kRetInternal;
    }
    return rows[0].Int(0) < cap ? kRetOk : kRetCodeTooSoon;
}

int VerificationCodes::CheckLimits(Session& s, const std::string& phone, const std::string& client,
                                   std::int64_t now) {
    constexpr std::int64_t kHour = 3600;
    constexpr std::int64_t kDay = 24 * kHour;
    int ret = CheckCap(s, " AND mobilephone = ?2", phone, now - kDay, rules_.per_number_day);
    if (ret == kRetOk) {
        ret = CheckCap(s, " AND client_ip = ?2", client, now - kHour, rules_.per_address_hour);
    }
    if (ret == kRetOk && rules_.per_service_hour != 0) {
        ret = CheckCap(s, "", std::string(), now - kHour, rules_.per_service_hour);
    }
    return ret;
}

bool VerificationCodes::Store(Session& s, const IssuedCode& issued) {
    const std::int64_t now = issued.issued_at;
    const std::string hash = HashCode(issued.phone, issued.purpose, issued.code);
    return s.Run("DELETE FROM sms_sent WHERE sent_at <= ?1", {now - 24 * 3600}) == SqlResult::kOk &&
           s.Run("INSERT INTO sms_sent (mobilephone, client_ip, sent_at) VALUES (?1, ?2, ?3)",
                 {issued.phone, issued.client, now}) == SqlResult::kOk &&
           s.Run("INSERT INTO sms_codes "
                 "(mobilephone, purpose, code_hash, issued_at, wrong_tries, consumed) "
                 "VALUES (?1, ?2, ?3, ?4, 0, 0) ON CONFLICT (mobilephone, purpose) DO UPDATE "
                 "SET code_hash = excluded.code_hash, issued_at = excluded.issued_at, "
                 "wrong_tries = 0, consumed = 0",
                 {issued.phone, std::string(PurposeName(issued.purpose)), Blob{hash}, now}) ==
               SqlResult::kOk;
}

int VerificationCodes::Issue(Session& s, const std::string& phone, CodePurpose purpose,
                             const std::string& client, IssuedCode* issued) {
    if (!key_ready_) {
        return kRetInternal;
    }
    const std::int64_t now = clock_();
    int ret = CheckResendInterval(s, phone, now);
    if (ret == kRetOk) {
        ret = CheckLimits(s, phone, client, now);
    }
    if (ret != kRetOk) {
        return ret;
    }
    IssuedCode fresh{phone, purpose, client, NewCode(), now};
    if (!Store(s, fresh)) {
        return kRetInternal;
    }
    *issued = std::move(fresh);
    return kRetOk;
}

// A code that never reached the phone is taken back with its count, so that
// neither the resend interval nor the caps hold a failed send against the
// user, and asking again works at once. The code it replaced is not brought
// back: the user had asked for a new one. Should the sender have delivered
// after all, that code simply no longer matches.
int VerificationCodes::Send(const IssuedCode& issued) {
    if (sender_.Send(issued.phone, issued.code)) {
        return kRetOk;
    }
    if (!Withdraw(issued)) {
        std::fprintf(stderr, "sms code for %s not sent and not withdrawn; it lapses\n",
                     LogField(issued.phone).c_str());
    }
    return kRetInternal;
}

// Only this send's rows: a newer code for the number stays, and of two sends
// in one second only one count goes.
bool VerificationCodes::Withdraw(const IssuedCode& issued) {
    const std::string row_id = std::strcmp(db_.Kind(), "sqlite") == 0 ? "rowid" : "ctid";
    const std::string hash = HashCode(issued.phone, issued.purpose, issued.code);
    return db_.Transact([&](Session& s) {
        return s.Run("DELETE FROM sms_codes WHERE mobilephone = ?1 AND purpose = ?2 "
                     "AND code_hash = ?3",
                     {issued.phone, std::string(PurposeName(issued.purpose)), Blob{hash}}) ==
                   SqlResult::kOk &&
               s.Run("DELETE FROM sms_sent WHERE " + row_id + " IN (SELECT " + row_id +
                         " FROM sms_sent WHERE mobilephone = ?1 AND client_ip = ?2 "
                         "AND sent_at = ?3 LIMIT 1)",
                     {issued.phone, issued.client, issued.issued_at}) == SqlResult::kOk;
    });
}

int VerificationCodes::Consume(Session& s, const std::string& phone, CodePurpose purpose,
                               const std::string& code) {
    return Verify(s, phone, purpose, code, true);
}

int VerificationCodes::Check(Session& s, const std::string& phone, CodePurpose purpose,
                             const std::string& code) {
    return Verify(s, phone, purpose, code, false);
}

int VerificationCodes::Verify(Session& s, const std::string& phone, CodePurpose purpose,
                              const std::string& code, bool use_up) {
    SqlRows rows;
    const std::string purpose_name = PurposeName(purpose);
    if (s.Run("SELECT code_hash, issued_at, wrong_tries, consumed "
              "FROM sms_codes WHERE mobilephone = ?1 AND purpose = ?2",
              {phone, purpose_name}, &rows) != SqlResult::kOk) {
        return kRetInternal;
    }
    if (rows.empty()) {
        return kRetCodeUnusable;
    }
    const SqlRow& row = rows[0];
    const std::string stored = row.Text(0);
    const std::int64_t issued = row.Int(1);
    if (row.Int(3) != 0 || row.Int(2) >= rules_.max_wrong_tries) {
        return kRetCodeUnusable;
    }
    if (clock_() - issued >= rules_.lifetime_seconds) {
        return kRetCodeExpired;
    }
    const std::string given = HashCode(phone, purpose, code);
    const bool match = stored.size() == given.size() &&
                       sodium_memcmp(stored.data(), given.data(), given.size()) == 0;
    if (match && !use_up) {
        return kRetOk;
    }
    const char* update = match ? "UPDATE sms_codes SET consumed = 1 "
                                 "WHERE mobilephone = ?1 AND purpose = ?2"
                               : "UPDATE sms_codes SET wrong_tries = wrong_tries + 1 "
                                 "WHERE mobilephone = ?1 AND purpose = ?2";
    if (s.Run(update, {phone, purpose_name}) != SqlResult::kOk) {
        return kRetInternal;
    }
    return match ? kRetOk : kRetCodeWrong;
}

} // namespace velquist::service
