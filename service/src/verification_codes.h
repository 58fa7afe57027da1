#pragma once

#include "clock.h"
#include "database.h"
#include "sms_sender.h"

#include <cstdint>
#include <string>

namespace velquist::service {

enum class CodePurpose { kRegister, kForgot };

// SMS cost money and invite pumping; with 10 codes a day of 5 tries each,
// guessing one number's code succeeds at most 50 times in a million a day.
struct CodeRules {
    std::int64_t lifetime_seconds = 300;
    std::int64_t resend_interval_seconds = 60;
    int max_wrong_tries = 5;
    unsigned per_number_day = 10;
    unsigned per_address_hour = 5;
    // The whole service; 0: no limit.
    unsigned per_service_hour = 1000;
};

// A code stored in a transaction that has yet to commit; it goes out only
// after that commit.
struct IssuedCode {
    std::string phone;
    CodePurpose purpose = CodePurpose::kRegister;
    std::string client;
    std::string code;
    std::int64_t issued_at = 0;
};

// Issues and checks the 6-digit SMS codes. Only a keyed hash of each code is
// stored. Callers pass the session of their transaction.
class VerificationCodes {
  public:
    VerificationCodes(Database& db, SmsSender& sender, Clock clock, CodeRules rules = {});
    // False when the key could not be read or stored.
    bool ok() const { return key_ready_; }

    // Stores a new code and its count: kRetOk with `issued` filled in,
    // kRetCodeTooSoon (also for every sending limit), or kRetInternal when the
    // database failed or could not tell. Sends nothing: the caller commits,
    // then calls Send. `client` is the requesting address group.
    int Issue(Session& s, const std::string& phone, CodePurpose purpose, const std::string& client,
              IssuedCode* issued);
    // Sends a committed code: kRetOk, or kRetInternal when the sender failed;
    // the code and its count are then withdrawn.
    int Send(const IssuedCode& issued);
    // kRetOk (and the code is used up), kRetCodeWrong, kRetCodeExpired or
    // kRetCodeUnusable.
    // kRetInternal when the database failed.
    int Consume(Session& s, const std::string& phone, CodePurpose purpose, const std::string& code);
    // As Consume, but a right code stays usable (a wrong one still counts).
    int Check(Session& s, const std::string& phone, CodePurpose purpose, const std::string& code);

  private:
    bool LoadOrCreateKey();
    int Verify(Session& s, const std::string& phone, CodePurpose purpose, const std::string& code,
               bool use_up);
    // These three: kRetOk, kRetCodeTooSoon, or kRetInternal when a read failed.
    int CheckResendInterval(Session& s, const std::string& phone, std::int64_t now);
    int CheckLimits(Session& s, const std::string& phone, const std::string& client,
                    std::int64_t now);
    int CheckCap(Session& s, const char* where, const std::string& key, std::int64_t since,
                 std::int64_t cap);
    bool Store(Session& s, const IssuedCode& issued);
    bool Withdraw(const IssuedCode& issued);
    std::string HashCode(const std::string& phone, CodePurpose purpose,
                         const std::string& code) const;

    Database& db_;
    SmsSender& sender_;
    Clock clock_;
    CodeRules rules_;
    unsigned char key_[32];
    bool key_ready_ = false;
};

} // namespace velquist::service
