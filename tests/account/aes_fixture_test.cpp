#include "account/aes.h"
#include "account/credential_store.h"
#include "account_test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// Written once by the cipher that sealed the users' existing files; whatever computes the
// rounds now must keep reading and writing these bytes.
const fs::path kData = VELQUIST_ACCOUNT_TEST_DATA;

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Recorded {
    int key_length = 0;
    AES::Mode mode = AES::ECB;
    Bytes key, iv, plain, cipher;
};

std::vector<Recorded> ReadRecorded() {
    std::vector<Recorded> all;
    std::istringstream lines(ReadAll(kData / "aes_cipher_texts.txt"));
    std::string mode, key, iv, plain, cipher;
    Recorded r;
    while (lines >> r.key_length >> mode >> key >> iv >> plain >> cipher) {
        r.mode = mode == "CBC" ? AES::CBC : mode == "CFB" ? AES::CFB : AES::ECB;
        r.key = FromHex(key);
        r.iv = FromHex(iv);
        r.plain = FromHex(plain);
        r.cipher = FromHex(cipher);
        all.push_back(r);
    }
    return all;
}

TEST(AesRecordedBytes, EncryptionAndDecryptionMatchTheRecordedTexts) {
    const std::vector<Recorded> all = ReadRecorded();
    ASSERT_EQ(all.size(), 9u);
    for (const Recorded& r : all) {
        SCOPED_TRACE(std::to_string(r.key_length) + "/" + std::to_string(r.mode));
        AES encrypt;
        encrypt.SetKey(r.key.data(), r.iv.data(), r.key_length, 16);
        Bytes out(r.plain.size());
        // Two calls: the chain must carry over exactly as in one.
        encrypt.Encrypt(r.plain.data(), out.data(), 16, r.mode);
        encrypt.Encrypt(r.plain.data() + 16, out.data() + 16, r.plain.size() - 16, r.mode);
        EXPECT_EQ(out, r.cipher);

        AES decrypt;
        decrypt.SetKey(r.key.data(), r.iv.data(), r.key_length, 16);
        Bytes back(r.cipher.size());
        decrypt.Decrypt(r.cipher.data(), back.data(), r.cipher.size(), r.mode);
        EXPECT_EQ(back, r.plain);
    }
}

class RecordedCredentialFile : public testing::AccountServiceTest {};

TEST_F(RecordedCredentialFile, OldFileStillLoadsAndSealsToTheSameText) {
    const std::string file_text = ReadAll(kData / "local.dat");
    const std::string plain = CredentialPlaintext("13800138000", "fixture\"pass\\word");
    ASSERT_FALSE(file_text.empty());
    EXPECT_EQ(UnsealCredentials(file_text), plain);
    EXPECT_EQ(SealCredentials(plain), file_text);

    fs::copy_file(kData / "local.dat", CredentialFilePath(), fs::copy_options::overwrite_existing);
    EXPECT_EQ(LoadCredentials().value_or(""), plain);
}

} // namespace
} // namespace velquist
