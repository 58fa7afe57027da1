#include "verification_codes.h"

#include "ret_codes.h"

#include <algorithm>
#include <cstdio>
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
    LoadOrCreateKey();
}

// The key lives in the database so that a code sent just before a restart
// still matches afterwards.
void VerificationCodes::LoadOrCreateKey() {
    auto lock = db_.Lock();
    Statement select = db_.Prepare("SELECT value FROM secrets WHERE name = 'code_key'");
    if (select.Step() == SQLITE_ROW) {
        const std::string stored = select.Blob(0);
        if (stored.size() == sizeof key_) {
            std::copy(stored.begin(), stored.end(), key_);
            return;
        }
    }
    crypto_generichash_keygen(key_);
    db_.Prepare("INSERT OR REPLACE INTO secrets (name, value) VALUES ('code_key', ?1)")
        .BindBlob(1, key_, sizeof key_)
        .Run();
}

std::string VerificationCodes::HashCode(const std::string& phone, CodePurpose purpose,
                                        const std::string& code) const {
    const std::string input = phone + ":" + PurposeName(purpose) + ":" + code;
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(input.data()),
                       input.size(), key_, sizeof key_);
    return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

bool VerificationCodes::SentRecently(const std::string& phone, std::int64_t now) {
    Statement last = db_.Prepare("SELECT MAX(issued_at) FROM sms_codes WHERE mobilephone = ?1");
    last.Bind(1, phone);
    if (last.Step() != SQLITE_ROW || last.IsNull(0)) {
        return false;
    }
    const std::int64_t issued = last.Int(0);
    return now >= issued && now - issued < rules_.resend_interval_seconds;
}

std::int64_t VerificationCodes::CountSent(const char* where, const std::string& key,
                                          std::int64_t since) {
    const std::string sql = std::string("SELECT COUNT(*) FROM sms_sent WHERE sent_at > ?1") + where;
    Statement count = db_.Prepare(sql.c_str());
    count.Bind(1, since);
    if (!key.empty()) {
        count.Bind(2, key);
    }
    return count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

bool VerificationCodes::OverALimit(const std::string& phone, const std::string& client,
                                   std::int64_t now) {
    constexpr std::int64_t kHour = 3600;
    constexpr std::int64_t kDay = 24 * kHour;
    if (CountSent(" AND mobilephone = ?2", phone, now - kDay) >= rules_.per_number_day) {
        return true;
    }
    if (CountSent(" AND client_ip = ?2", client, now - kHour) >= rules_.per_address_hour) {
        return true;
    }
    return rules_.per_service_hour != 0 &&
           CountSent("", std::string(), now - kHour) >= rules_.per_service_hour;
}

int VerificationCodes::Issue(const std::string& phone, CodePurpose purpose,
                             const std::string& client) {
    const std::int64_t now = clock_();
    if (SentRecently(phone, now) || OverALimit(phone, client, now)) {
        return kRetCodeTooSoon;
    }
    // Counted before the send: a code that may have gone out counts.
    db_.Prepare("DELETE FROM sms_sent WHERE sent_at <= ?1").Bind(1, now - 24 * 3600).Run();
    if (!db_.Prepare("INSERT INTO sms_sent (mobilephone, client_ip, sent_at) VALUES (?1, ?2, ?3)")
             .Bind(1, phone)
             .Bind(2, client)
             .Bind(3, now)
             .Run()) {
        return kRetInternal;
    }
    const std::string code = NewCode();
    if (!sender_.Send(phone, code)) {
        return kRetInternal;
    }
    const std::string hash = HashCode(phone, purpose, code);
    const bool stored =
        db_.Prepare("INSERT INTO sms_codes "
                    "(mobilephone, purpose, code_hash, issued_at, wrong_tries, consumed) "
                    "VALUES (?1, ?2, ?3, ?4, 0, 0) ON CONFLICT (mobilephone, purpose) DO UPDATE "
                    "SET code_hash = excluded.code_hash, issued_at = excluded.issued_at, "
                    "wrong_tries = 0, consumed = 0")
            .Bind(1, phone)
            .Bind(2, PurposeName(purpose))
            .BindBlob(3, hash.data(), static_cast<int>(hash.size()))
            .Bind(4, now)
            .Run();
    return stored ? kRetOk : kRetInternal;
}

int VerificationCodes::Consume(const std::string& phone, CodePurpose purpose,
                               const std::string& code) {
    Statement row = db_.Prepare("SELECT code_hash, issued_at, wrong_tries, consumed "
                                "FROM sms_codes WHERE mobilephone = ?1 AND purpose = ?2");
    row.Bind(1, phone).Bind(2, PurposeName(purpose));
    if (row.Step() != SQLITE_ROW) {
        return kRetCodeUnusable;
    }
    const std::string stored = row.Blob(0);
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
    const char* update = match ? "UPDATE sms_codes SET consumed = 1 "
                                 "WHERE mobilephone = ?1 AND purpose = ?2"
                               : "UPDATE sms_codes SET wrong_tries = wrong_tries + 1 "
                                 "WHERE mobilephone = ?1 AND purpose = ?2";
    db_.Prepare(update).Bind(1, phone).Bind(2, PurposeName(purpose)).Run();
    return match ? kRetOk : kRetCodeWrong;
}

} // namespace velquist::service
