// Runs inside a private D-Bus session with a real GNOME Keyring (see run_with_keyring.sh).
#include "account/auto_login.h"
#include "account/credential_store.h"
#include "account/secret_key.h"
#include "account_test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>

namespace velquist {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class KeyringTest : public testing::AccountServiceTest {};

TEST_F(KeyringTest, FirstSaveMakesTheUsersOwnKeyAndKeepsIt) {
    CredentialKey none;
    ASSERT_EQ(LookupStoredKey(&none), StoredKeyState::kMissing) << "a fresh keyring answers";

    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    CredentialKey stored;
    ASSERT_EQ(LookupStoredKey(&stored), StoredKeyState::kFound);
    EXPECT_EQ(stored.key.size(), 16u);
    EXPECT_EQ(stored.iv.size(), 16u);
    EXPECT_NE(stored.key, FixedCredentialKey().key);

    const std::string plain = CredentialPlaintext("13800000000", "secret");
    const std::string file = ReadFile(CredentialFilePath());
    EXPECT_EQ(file, SealCredentials(plain, stored)) << "same format, the user's key";
    EXPECT_NE(UnsealCredentials(file), plain) << "the fixed key no longer opens it";
    EXPECT_EQ(LoadCredentials().value_or(""), plain);
    struct stat info {};
    ASSERT_EQ(stat(CredentialFilePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_TRUE(SaveCredentials("13800000000", "changed"));
    CredentialKey again;
    ASSERT_EQ(LookupStoredKey(&again), StoredKeyState::kFound);
    EXPECT_EQ(again.key, stored.key) << "one key per user, not per save";
    EXPECT_EQ(again.iv, stored.iv);
}

// A start never stores a key: on a desktop whose keyring is locked or missing that would
// pop the keyring's password dialog with no word of why. Only a save moves the file.
TEST_F(KeyringTest, StartLeavesAnOldFileAndTheKeyringAloneUntilASave) {
    const std::string plain = CredentialPlaintext("13800000000", "secret");
    const std::string old = SealCredentials(plain);
    std::ofstream(CredentialFilePath(), std::ios::binary) << old;
    std::optional<LoadedCredentials> loaded = LoadCredentialsWithKeyInfo();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->plaintext, plain);
    EXPECT_TRUE(loaded->fixed_key_in_use);

    login_reply_ = AcceptedReply("13800000000");
    ASSERT_TRUE(AutoLogin().logged_in);
    CredentialKey none;
    EXPECT_EQ(LookupStoredKey(&none), StoredKeyState::kMissing) << "no key made at start";
    EXPECT_EQ(ReadFile(CredentialFilePath()), old);

    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    CredentialKey stored;
    ASSERT_EQ(LookupStoredKey(&stored), StoredKeyState::kFound);
    EXPECT_EQ(ReadFile(CredentialFilePath()), SealCredentials(plain, stored));
    loaded = LoadCredentialsWithKeyInfo();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_FALSE(loaded->fixed_key_in_use);
    EXPECT_EQ(loaded->plaintext, plain);
    ASSERT_TRUE(AutoLogin().logged_in) << "a file under the user's key is read at start";
}

TEST_F(KeyringTest, OldFileBesideAStoredKeyIsStillRead) {
    ASSERT_TRUE(StoredOrNewKey().has_value());
    const std::string plain = CredentialPlaintext("13800000000", "secret");
    std::ofstream(CredentialFilePath(), std::ios::binary) << SealCredentials(plain);
    EXPECT_EQ(LoadCredentials().value_or(""), plain);
    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    EXPECT_NE(UnsealCredentials(ReadFile(CredentialFilePath())), plain);
}

TEST_F(KeyringTest, LogoutRemovesTheSecretAndTheNextKeyIsNew) {
    login_reply_ = AcceptedReply("13800000000");
    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    CredentialKey first;
    ASSERT_EQ(LookupStoredKey(&first), StoredKeyState::kFound);
    ASSERT_TRUE(AutoLogin().logged_in);

    LogoutAccount();
    EXPECT_FALSE(std::filesystem::exists(CredentialFilePath()));
    CredentialKey gone;
    EXPECT_EQ(LookupStoredKey(&gone), StoredKeyState::kMissing);

    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    CredentialKey second;
    ASSERT_EQ(LookupStoredKey(&second), StoredKeyState::kFound);
    EXPECT_NE(second.key, first.key) << "random, not derived";
}

} // namespace
} // namespace velquist
