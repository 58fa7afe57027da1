#pragma once

#include <optional>
#include <string>

namespace velquist {

// The credential file's fixed AES-128 key and chaining value (16 ASCII bytes each).
inline constexpr const char* kCredentialKey = "Qm7Tz2Lk9Bv4Xc1N";
inline constexpr const char* kCredentialIv = "Hd3Wp8Ry5Fs0Jg6K";

// "local.dat" in the per-user "Morvane/Data" folder (created if missing).
std::string CredentialFilePath();

// The styled JSON text {"account", "password"} that the file protects.
std::string CredentialPlaintext(const std::string& phone, const std::string& password);

// Plaintext -> PKCS#7 padding -> AES-128-CBC -> one Base64 line, and back. Decoding stops
// at the first character outside the Base64 alphabet; a length that is not a whole number
// of blocks is not decrypted, and damaged padding gives an empty text.
std::string SealCredentials(const std::string& plaintext);
std::string UnsealCredentials(const std::string& file_text);

// Writes the file readable by its owner only, through a temporary file renamed into
// place, so an interrupted write never leaves half a file. False when it cannot be
// written.
bool SaveCredentials(const std::string& phone, const std::string& password);
// The decrypted plaintext, or nothing when the file cannot be opened.
std::optional<std::string> LoadCredentials();
// Removes the file; a missing file is fine.
void DeleteCredentials();

} // namespace velquist
