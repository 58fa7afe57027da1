#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquist::service {

// The maker's installer signatures: Ed25519ph (the installer hashed in
// chunks, so an installer of any size signs in constant memory). Key and
// signature files hold one line each, the standard Base64 of libsodium's
// bytes: a 32-byte public key, a 64-byte secret key, a 64-byte signature.

// Hands the whole file behind fd, from its start, to take in chunks; false on a read
// error. Installers are hashed and signed this way in constant memory.
bool ReadChunks(int fd, const std::function<void(const unsigned char*, std::size_t)>& take);

// Creates both key files; never replaces an existing file. The secret key
// file is readable by its owner only.
bool MakeSigningKeys(const std::string& secret_key_path, const std::string& public_key_path,
                     std::string* error);

// Writes `installer_path` + ".sig" whole (a reader sees the old file or the
// new one, never a part).
bool SignInstaller(const std::string& secret_key_path, const std::string& installer_path,
                   std::string* error);

// The Base64 text in a signature file's contents (surrounding white space
// dropped) when it is one signature, else nothing.
std::optional<std::string> SignatureText(std::string_view contents);

// "keygen" and "sign-installer": the maker's commands, run instead of the
// service. Gives the exit code, or nothing when `args` names neither.
std::optional<int> RunSigningCommand(const std::vector<std::string>& args);

} // namespace velquist::service
