#include "net/installer_signature.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <sodium.h>

namespace velquist {
namespace {

// One string literal per key, from the build's configuration.
const char* const kBuiltInKeys[] = {
#include "update_keys.inc"
    nullptr};

using PublicKey = std::array<unsigned char, crypto_sign_PUBLICKEYBYTES>;

std::mutex g_keys_mutex;
std::optional<std::vector<std::string>> g_test_keys;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

bool DecodeBase64(const std::string& text, unsigned char* out, std::size_t size) {
    std::size_t length = 0;
    const char* end = nullptr;
    int rc = sodium_base642bin(out, size, text.data(), text.size(), nullptr, &length, &end,
                               sodium_base64_VARIANT_ORIGINAL);
    return rc == 0 && length == size && end == text.data() + text.size();
}

std::vector<PublicKey> DecodeKeys(const std::vector<std::string>& keys) {
    std::vector<PublicKey> decoded;
    for (const std::string& text : keys) {
        PublicKey key{};
        if (DecodeBase64(text, key.data(), key.size())) {
            decoded.push_back(key);
        }
    }
    return decoded;
}

// Feeds the whole file into every state; false when it cannot be read to its end.
bool HashFileInto(const std::string& path, std::vector<crypto_sign_state>& states) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    std::array<unsigned char, 64 * 1024> block{};
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        for (crypto_sign_state& state : states) {
            crypto_sign_update(&state, block.data(), got);
        }
    }
    return std::ferror(file.get()) == 0;
}

// The "debian-binary" name as ar writes it: padded with spaces, possibly ended by the
// "/" of GNU ar.
bool IsDebianBinaryName(const char* field) {
    static const char kName[] = "debian-binary";
    constexpr std::size_t kLength = sizeof(kName) - 1;
    if (std::memcmp(field, kName, kLength) != 0) {
        return false;
    }
    for (std::size_t i = kLength; i < 16; ++i) {
        bool slash_ending = i == kLength && field[i] == '/';
        if (field[i] != ' ' && !slash_ending) {
            return false;
        }
    }
    return true;
}

} // namespace

bool DecodeInstallerSignature(const std::string& base64, std::string* raw) {
    if (!SodiumReady()) {
        return false;
    }
    std::array<unsigned char, kInstallerSignatureBytes> bytes{};
    if (!DecodeBase64(base64, bytes.data(), bytes.size())) {
        return false;
    }
    raw->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
}

std::vector<std::string> UpdatePublicKeys() {
    std::lock_guard<std::mutex> lock(g_keys_mutex);
    if (g_test_keys) {
        return *g_test_keys;
    }
    std::vector<std::string> keys;
    for (const char* const* key = kBuiltInKeys; *key != nullptr; ++key) {
        keys.emplace_back(*key);
    }
    return keys;
}

void SetUpdatePublicKeysForTests(const std::vector<std::string>* keys) {
    std::lock_guard<std::mutex> lock(g_keys_mutex);
    if (keys == nullptr) {
        g_test_keys.reset();
    } else {
        g_test_keys = *keys;
    }
}

bool IsDebianPackage(const std::string& path) {
    // The archive magic, then the first member's 60-byte header: name (16 bytes) first,
    // the header's own end marker "`\n" last.
    File file(std::fopen(path.c_str(), "rb"));
    std::array<char, 8 + 60> head{};
    if (!file || std::fread(head.data(), 1, head.size(), file.get()) != head.size()) {
        return false;
    }
    const char* member = head.data() + 8;
    return std::memcmp(head.data(), "!<arch>\n", 8) == 0 && IsDebianBinaryName(member) &&
           member[58] == '`' && member[59] == '\n';
}

bool VerifyInstallerSignature(const std::string& path, const std::string& raw_signature,
                              const std::vector<std::string>& keys) {
    if (!SodiumReady() || raw_signature.size() != kInstallerSignatureBytes) {
        return false;
    }
    std::vector<PublicKey> decoded = DecodeKeys(keys);
    std::vector<crypto_sign_state> states(decoded.size());
    for (crypto_sign_state& state : states) {
        crypto_sign_init(&state);
    }
    if (decoded.empty() || !HashFileInto(path, states)) {
        return false;
    }
    const auto* signature = reinterpret_cast<const unsigned char*>(raw_signature.data());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (crypto_sign_final_verify(&states[i], signature, decoded[i].data()) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace velquist
