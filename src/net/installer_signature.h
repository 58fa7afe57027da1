#pragma once

#include <string>
#include <vector>

namespace velquist {

// Installers are trusted for what the maker signed, not for where they came from: the
// manifest and the file may both come from whoever answers the update check.

inline constexpr std::size_t kInstallerSignatureBytes = 64;

// Standard Base64 of a 64-byte Ed25519 signature; *raw gets the bytes.
bool DecodeInstallerSignature(const std::string& base64, std::string* raw);

// The public keys (Base64 text) installers are checked against: those built in, or the
// ones a test put in their place.
std::vector<std::string> UpdatePublicKeys();
// Test seam: replaces the built-in keys until called again with nullptr. Only code linked
// into the process can reach it.
void SetUpdatePublicKeysForTests(const std::vector<std::string>* keys);

// True when the file is an ar archive whose first member is "debian-binary", the shape of
// a Debian package.
bool IsDebianPackage(const std::string& path);

// True when raw_signature is a valid Ed25519ph signature (libsodium's multi-part signing)
// of the file's bytes under any of the keys. Unusable keys are skipped.
bool VerifyInstallerSignature(const std::string& path, const std::string& raw_signature,
                              const std::vector<std::string>& keys);

} // namespace velquist
