#pragma once

#include "account/secret_key.h"

#include <optional>
#include <string>

namespace velquist {

// "local.dat" in the per-user "Morvane/Data" folder (created if missing).
std::string CredentialFilePath();

// The styled JSON text {"account", "password"} that the file protects.
std::string CredentialPlaintext(const std::string& phone, const std::string& password);

// Plaintext -> PKCS#7 padding -> AES-128-CBC -> one Base64 line, and back. Decoding stops
// at the first character outside the Base64 alphabet; a length that is not a whole number
// of blocks is not decrypted, and damaged padding gives an empty text.
std::string SealCredentials(const std::string& plaintext,
                            const CredentialKey& key = FixedCredentialKey());
std::string UnsealCredentials(const std::string& file_text,
                              const CredentialKey& key = FixedCredentialKey());

// Writes the file readable by its owner only, through a temporary file renamed into
// place, so an interrupted write never leaves half a file. Sealed with the user's key
// from the secret store (made on first use), or the fixed key where no store answers.
// False when it cannot be written.
bool SaveCredentials(const std::string& phone, const std::string& password);

struct LoadedCredentials {
    std::string plaintext;
    // Sealed with the fixed key: written where no store answered, or before the key moved
    // into the store. Read without asking the store; the next save made from the login
    // dialog replaces it.
    bool fixed_key_in_use = false;
};
// The decrypted plaintext, or nothing when the file cannot be opened. The fixed key is
// tried first; the secret store is asked only for a file that key does not open, one
// saved under the user's own key (so only that read may make the store prompt).
std::optional<std::string> LoadCredentials();
std::optional<LoadedCredentials> LoadCredentialsWithKeyInfo();
// Removes the file and the user's key in the store; a missing file is fine.
void DeleteCredentials();

} // namespace velquist
