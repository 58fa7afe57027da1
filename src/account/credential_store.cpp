#include "account/credential_store.h"

#include "account/aes.h"
#include "account/reply_reader.h"
#include "config/app_paths.h"
#include "util/text.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <json/json.h>
#include <memory>
#include <unistd.h>

namespace velquist {
namespace {

constexpr std::size_t kBlock = 16;

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

std::string Pkcs7Pad(const std::string& text) {
    std::size_t pad = kBlock - text.size() % kBlock;
    return text + std::string(pad, static_cast<char>(pad));
}

// Strips the padding in place; on damaged padding the whole buffer becomes zeros.
void Pkcs7Strip(std::string& buffer) {
    if (buffer.empty()) {
        return;
    }
    auto last = static_cast<signed char>(buffer.back());
    if (last < 1 || static_cast<std::size_t>(last) > buffer.size()) {
        return;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(last); ++i) {
        char& byte = buffer[buffer.size() - 1 - i];
        if (byte != static_cast<char>(last)) {
            buffer.assign(buffer.size(), '\0');
            return;
        }
        byte = '\0';
    }
}

bool WriteTempFile(const std::string& temp_path_template, std::string* temp_path,
                   const std::string& data) {
    std::string pattern = temp_path_template;
    // mkstemp creates the file with mode 0600.
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        return false;
    }
    *temp_path = pattern;
    UniqueFile file(fdopen(fd, "wb"));
    if (!file) {
        close(fd);
        return false;
    }
    return std::fwrite(data.data(), 1, data.size(), file.get()) == data.size() &&
           std::fflush(file.get()) == 0 && fsync(fileno(file.get())) == 0;
}

// Which key sealed a file shows only in the result: a wrong key gives bytes that do not
// parse (its padding check already clears almost all of them).
bool IsCredentialObject(const std::string& plaintext) {
    Json::Value root;
    return ParseJsonObject(plaintext, &root);
}

} // namespace

std::string CredentialFilePath() {
    return WideToAnsi(EnsureAppDataDir(L"Morvane/Data")) + "/local.dat";
}

std::string CredentialPlaintext(const std::string& phone, const std::string& password) {
    Json::Value root(Json::objectValue);
    root["account"] = phone;
    root["password"] = password;
    return Json::StyledWriter().write(root);
}

std::string SealCredentials(const std::string& plaintext, const CredentialKey& key) {
    std::string padded = Pkcs7Pad(plaintext);
    std::string cipher(padded.size(), '\0');
    AES aes;
    aes.SetKey(Bytes(key.key), Bytes(key.iv), 16, 16);
    aes.Encrypt(Bytes(padded), reinterpret_cast<unsigned char*>(cipher.data()), padded.size(),
                AES::CBC);
    return Base64Encode(cipher);
}

std::string UnsealCredentials(const std::string& file_text, const CredentialKey& key) {
    std::string decoded = Base64Decode(file_text);
    // The cipher leaves the copy as decoded when the length is not whole blocks.
    std::string plain = decoded;
    AES aes;
    aes.SetKey(Bytes(key.key), Bytes(key.iv), 16, 16);
    aes.Decrypt(Bytes(decoded), reinterpret_cast<unsigned char*>(plain.data()), decoded.size(),
                AES::CBC);
    Pkcs7Strip(plain);
    return plain.substr(0, plain.find('\0'));
}

bool SaveCredentials(const std::string& phone, const std::string& password) {
    std::string path = CredentialFilePath();
    std::string temp_path;
    CredentialKey key = StoredOrNewKey().value_or(FixedCredentialKey());
    bool written = WriteTempFile(path + ".XXXXXX", &temp_path,
                                 SealCredentials(CredentialPlaintext(phone, password), key));
    if (!written || std::rename(temp_path.c_str(), path.c_str()) != 0) {
        if (!temp_path.empty()) {
            unlink(temp_path.c_str());
        }
        return false;
    }
    return true;
}

std::optional<LoadedCredentials> LoadCredentialsWithKeyInfo() {
    std::ifstream in(CredentialFilePath(), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fixed key is tried first: a file it opens never wakes the secret store, whose
    // first answer on a locked or missing keyring is a password dialog of its own.
    std::string old = UnsealCredentials(text);
    if (IsCredentialObject(old)) {
        return LoadedCredentials{old, true};
    }
    CredentialKey stored;
    if (LookupStoredKey(&stored) != StoredKeyState::kFound) {
        return LoadedCredentials{old, false};
    }
    return LoadedCredentials{UnsealCredentials(text, stored), false};
}

std::optional<std::string> LoadCredentials() {
    std::optional<LoadedCredentials> loaded = LoadCredentialsWithKeyInfo();
    if (!loaded) {
        return std::nullopt;
    }
    return loaded->plaintext;
}

void DeleteCredentials() {
    std::remove(CredentialFilePath().c_str());
    RemoveStoredKey();
}

} // namespace velquist
