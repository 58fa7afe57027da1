#include "password_hasher.h"

#include <algorithm>
#include <sodium.h>

namespace velquist::service {

HashCost InteractiveHashCost() {
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

class PasswordHasher::Slot {
  public:
    explicit Slot(PasswordHasher& owner) : owner_(owner) {
        std::unique_lock<std::mutex> lock(owner_.mutex_);
        owner_.freed_.wait(lock, [this] { return owner_.running_ < owner_.max_parallel_; });
        ++owner_.running_;
    }
    ~Slot() {
        {
            std::lock_guard<std::mutex> lock(owner_.mutex_);
            --owner_.running_;
        }
        owner_.freed_.notify_one();
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

  private:
    PasswordHasher& owner_;
};

PasswordHasher::PasswordHasher(HashCost cost, unsigned max_parallel)
    : cost_(cost), max_parallel_(std::max(1u, max_parallel)) {
    dummy_hash_ = Hash("velquist-dummy-password").value_or(std::string());
}

std::optional<std::string> PasswordHasher::Hash(std::string_view password) {
    char out[crypto_pwhash_STRBYTES];
    Slot slot(*this);
    if (crypto_pwhash_str(out, password.data(), password.size(), cost_.ops, cost_.memory_bytes) !=
        0) {
        return std::nullopt;
    }
    return std::string(out);
}

bool PasswordHasher::Verify(const std::string& stored, std::string_view password) {
    Slot slot(*this);
    return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool PasswordHasher::NeedsRehash(const std::string& stored) const {
    return crypto_pwhash_str_needs_rehash(stored.c_str(), cost_.ops, cost_.memory_bytes) != 0;
}

void PasswordHasher::VerifyDummy(std::string_view password) {
    if (!dummy_hash_.empty()) {
        Verify(dummy_hash_, password);
    }
}

} // namespace velquist::service
