#pragma once

#include "clock.h"
#include "database.h"
#include "sms_sender.h"

#include <cstdint>
#include <string>

namespace velquist::service {

enum class CodePurpose { kRegister, kForgot };

struct CodeRules {
    std::int64_t lifetime_seconds = 300;
    std::int64_t resend_interval_seconds = 60;
    int max_wrong_tries = 5;
};

// Issues and checks the 6-digit SMS codes. Only a keyed hash of each code is
// stored. Callers hold the database lock.
class VerificationCodes {
  public:
    VerificationCodes(Database& db, SmsSender& sender, Clock clock, CodeRules rules = {});

    // kRetOk, kRetCodeTooSoon, or kRetInternal when the sender failed.
    int Issue(const std::string& phone, CodePurpose purpose);
    // kRetOk (and the code is used up), kRetCodeWrong, kRetCodeExpired or
    // kRetCodeUnusable.
    int Consume(const std::string& phone, CodePurpose purpose, const std::string& code);

  private:
    void LoadOrCreateKey();
    bool SentRecently(const std::string& phone, std::int64_t now);
    std::string HashCode(const std::string& phone, CodePurpose purpose,
                         const std::string& code) const;

    Database& db_;
    SmsSender& sender_;
    Clock clock_;
    CodeRules rules_;
    unsigned char key_[32];
};

} // namespace velquist::service
