#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace velquist::service {

struct HashCost {
    unsigned long long ops;
    std::size_t memory_bytes;
};

// libsodium's interactive Argon2id limits: the cost for real accounts.
HashCost InteractiveHashCost();

// Argon2id through crypto_pwhash_str. Each hash takes `memory_bytes`, so the
// number running at once is capped: a burst of logins must not take the
// machine's memory with it.
class PasswordHasher {
  public:
    PasswordHasher(HashCost cost, unsigned max_parallel);

    std::optional<std::string> Hash(std::string_view password);
    bool Verify(const std::string& stored, std::string_view password);
    // True when `stored` was made with another cost than the current one.
    bool NeedsRehash(const std::string& stored) const;
    // Spends the same work as a real check, so that an unknown phone number
    // answers no faster than a wrong password.
    void VerifyDummy(std::string_view password);

  private:
    class Slot;

    HashCost cost_;
    unsigned max_parallel_;
    unsigned running_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::string dummy_hash_;
};

} // namespace velquist::service
