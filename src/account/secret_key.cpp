#include "account/secret_key.h"

#include <cstddef>
#include <libsecret/secret.h>
#include <memory>
#include <sys/random.h>

namespace velquist {
namespace {

constexpr std::size_t kKeyBytes = 16;
constexpr const char* kFileAttribute = "file";
constexpr const char* kFileName = "local.dat";

const SecretSchema* KeySchema() {
    static const SecretSchema schema = {
        "org.velquist.CredentialKey",
        SECRET_SCHEMA_NONE,
        {{kFileAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    };
    return &schema;
}

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct SecretFree {
    void operator()(gchar* secret) const { secret_password_free(secret); }
};
using OwnedError = std::unique_ptr<GError, ErrorFree>;
using OwnedSecret = std::unique_ptr<gchar, SecretFree>;

std::string ToHex(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0f];
    }
    return hex;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The stored text is the key and the IV as 64 lower-case hex digits.
bool FromHex(const std::string& hex, CredentialKey* key) {
    if (hex.size() != 4 * kKeyBytes) {
        return false;
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int high = HexValue(hex[i]);
        int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    key->key = bytes.substr(0, kKeyBytes);
    key->iv = bytes.substr(kKeyBytes);
    return true;
}

std::optional<CredentialKey> RandomKey() {
    std::string bytes(2 * kKeyBytes, '\0');
    if (getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        return std::nullopt;
    }
    return CredentialKey{bytes.substr(0, kKeyBytes), bytes.substr(kKeyBytes)};
}

bool StoreKey(const CredentialKey& key) {
    GError* raw_error = nullptr;
    std::string secret = ToHex(key.key + key.iv);
    gboolean stored = secret_password_store_sync(
        KeySchema(), SECRET_COLLECTION_DEFAULT, "Velquist saved login key", secret.c_str(), nullptr,
        &raw_error, kFileAttribute, kFileName, nullptr);
    OwnedError error(raw_error);
    return stored && !error;
}

} // namespace

CredentialKey FixedCredentialKey() {
    return CredentialKey{"Qm7Tz2Lk9Bv4Xc1N", "Hd3Wp8Ry5Fs0Jg6K"};
}

StoredKeyState LookupStoredKey(CredentialKey* key) {
    GError* raw_error = nullptr;
    OwnedSecret secret(secret_password_lookup_sync(KeySchema(), nullptr, &raw_error, kFileAttribute,
                                                   kFileName, nullptr));
    OwnedError error(raw_error);
    if (error) {
        return StoredKeyState::kNoStore;
    }
    // A damaged entry is as good as none: the next save replaces it.
    if (!secret || !FromHex(secret.get(), key)) {
        return StoredKeyState::kMissing;
    }
    return StoredKeyState::kFound;
}

std::optional<CredentialKey> StoredOrNewKey() {
    CredentialKey key;
    StoredKeyState state = LookupStoredKey(&key);
    if (state == StoredKeyState::kFound) {
        return key;
    }
    if (state == StoredKeyState::kNoStore) {
        return std::nullopt;
    }
    std::optional<CredentialKey> fresh = RandomKey();
    if (!fresh || !StoreKey(*fresh)) {
        return std::nullopt;
    }
    return fresh;
}

bool RemoveStoredKey() {
    GError* raw_error = nullptr;
    secret_password_clear_sync(KeySchema(), nullptr, &raw_error, kFileAttribute, kFileName,
                               nullptr);
    OwnedError error(raw_error);
    return !error;
}

} // namespace velquist
