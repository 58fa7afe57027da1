#pragma once

#include <optional>
#include <string>

namespace velquist {

// The AES-128 key and chaining value that seal the credential file, 16 bytes each.
struct CredentialKey {
    std::string key;
    std::string iv;
};

// The key every build carries. Only used where no secret store answers, and to read
// files written before the key moved into the store.
CredentialKey FixedCredentialKey();

// The desktop's secret store (the Secret Service: GNOME Keyring, KWallet), reached
// through libsecret. Every call blocks; a store that does not answer counts as absent.
enum class StoredKeyState { kFound, kMissing, kNoStore };

// The user's key from the store.
StoredKeyState LookupStoredKey(CredentialKey* key);
// The user's key, made from random bytes and stored on first use; nothing when no store
// answers or it refuses to keep the new key.
std::optional<CredentialKey> StoredOrNewKey();
// Forgets the user's key; false when the store did not answer.
bool RemoveStoredKey();

} // namespace velquist
