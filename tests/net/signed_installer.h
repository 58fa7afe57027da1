#pragma once

#include "net/httpdownload.h"
#include "net/installer_signature.h"

#include <array>
#include <cstdio>
#include <sodium.h>
#include <string>
#include <vector>

namespace velquist::testing {

// One ar member header: name, mtime, uid, gid, mode, size, end marker.
inline std::string ArMemberHeader(const std::string& name, std::size_t size) {
    char header[61];
    std::snprintf(header, sizeof(header), "%-16s%-12s%-6s%-6s%-8s%-10zu`\n", name.c_str(), "0", "0",
                  "0", "100644", size);
    return std::string(header, 60);
}

// The shape of a Debian package, total bytes long (at least 140): the ar magic, the
// "debian-binary" member, then one member filled with a pattern.
inline std::string DebianPackage(std::size_t total) {
    std::string bytes = "!<arch>\n" + ArMemberHeader("debian-binary", 4) + "2.0\n";
    std::size_t body = total - bytes.size() - 60;
    bytes += ArMemberHeader("data.tar.xz", body);
    for (std::size_t i = 0; i < body; ++i) {
        bytes += static_cast<char>(i * 31 + 7);
    }
    return bytes;
}

inline std::string ToBase64(const unsigned char* data, std::size_t size) {
    const std::size_t length = sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL);
    std::string text(length, '\0');
    sodium_bin2base64(text.data(), length, data, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(length - 1);
    return text;
}

// A maker's key pair made for the test; Install() makes the client trust it alone.
class TestSigner {
  public:
    TestSigner() {
        if (sodium_init() < 0) {
            std::abort();
        }
        crypto_sign_keypair(public_key_.data(), secret_key_.data());
    }

    std::string PublicKeyBase64() const { return ToBase64(public_key_.data(), public_key_.size()); }

    void Install() const {
        std::vector<std::string> keys{PublicKeyBase64()};
        SetUpdatePublicKeysForTests(&keys);
    }
    static void Uninstall() { SetUpdatePublicKeysForTests(nullptr); }

    // The signature the maker's signing step makes: Ed25519ph over the whole file.
    std::string SignRaw(const std::string& bytes) const {
        crypto_sign_state state;
        crypto_sign_init(&state);
        crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size());
        std::array<unsigned char, crypto_sign_BYTES> signature{};
        crypto_sign_final_create(&state, signature.data(), nullptr, secret_key_.data());
        return std::string(reinterpret_cast<const char*>(signature.data()), signature.size());
    }
    std::string SignBase64(const std::string& bytes) const {
        std::string raw = SignRaw(bytes);
        return ToBase64(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
    }
    InstallerCheck CheckFor(const std::string& bytes) const {
        InstallerCheck check;
        check.signature = SignRaw(bytes);
        return check;
    }

  private:
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> public_key_{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret_key_{};
};

} // namespace velquist::testing
