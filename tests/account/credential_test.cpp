#include "account/auto_login.h"
#include "account/credential_store.h"
#include "account/user_info.h"
#include "account_test_support.h"
#include "support/output_capture.h"
#include "util/text.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/stat.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;

const char kPlain48[] = "{\n   \"account\" : \"123\",\n   \"password\" : \"abc\"\n}\n";
// The same plaintext through an independent AES-128-CBC with PKCS#7 (openssl enc).
const char kSealed48[] =
    "EoR1v4ZqmhAlCnRNkQcsC/rpvct/18OR+CltLZ+iHv7Ln6TDrpEmYe+0jfg0zGIl937RzqB5pNwWkIjBwj56XA==";

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CredentialFormat, FortyEightBytesGainAWholePaddingBlock) {
    std::string plain = CredentialPlaintext("123", "abc");
    ASSERT_EQ(plain, kPlain48);
    ASSERT_EQ(plain.size(), 48u);
    std::string sealed = SealCredentials(plain);
    EXPECT_EQ(sealed.size(), 88u);
    EXPECT_EQ(sealed.substr(86), "==");
    EXPECT_EQ(sealed, kSealed48);
    EXPECT_EQ(UnsealCredentials(sealed), plain);
}

TEST(CredentialFormat, DamagedFilesGiveNoUsableText) {
    EXPECT_EQ(UnsealCredentials(std::string(kSealed48) + "\r\n"), kPlain48)
        << "a line break added by an editor";
    EXPECT_EQ(UnsealCredentials(""), "");

    // A flipped bit in the last block ruins the padding: all bytes are cleared.
    std::string damaged = kSealed48;
    damaged[70] = damaged[70] == 'A' ? 'B' : 'A';
    EXPECT_EQ(UnsealCredentials(damaged), "");

    // 18 bytes are not whole blocks: they pass undecrypted, and do not parse.
    std::string odd = Base64Encode(std::string("not a cipher text!"));
    std::string unsealed = UnsealCredentials(odd);
    Json::Value root;
    EXPECT_FALSE(Json::Reader().parse(unsealed, root, true) && root.isObject());
}

class CredentialFileTest : public testing::AccountServiceTest {};

TEST_F(CredentialFileTest, SavedFileIsPrivateAndLoadsBack) {
    std::string path = CredentialFilePath();
    WriteFile(path, "older");
    chmod(path.c_str(), 0644);
    ASSERT_TRUE(SaveCredentials("13800000000", "pa\"ss"));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(
        ReadFile(path),
        "EoR1v4ZqmhAlCnRNkQcsC+Hftj3yTh71hwBwcNnHpZp63Q3Z7t7TDlec18FOeCpgqKEiIF7Rq7gSBAuYsixEVA"
        "==");
    std::optional<std::string> loaded = LoadCredentials();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(*loaded, CredentialPlaintext("13800000000", "pa\"ss"));
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "no temporary file is left behind";

    DeleteCredentials();
    EXPECT_FALSE(LoadCredentials().has_value());
    DeleteCredentials();
}

TEST_F(CredentialFileTest, WithoutASecretStoreTheFixedKeyStays) {
    CredentialKey key;
    EXPECT_EQ(LookupStoredKey(&key), StoredKeyState::kNoStore);
    EXPECT_FALSE(StoredOrNewKey().has_value());
    EXPECT_FALSE(RemoveStoredKey());

    login_reply_ = AcceptedReply("13800000000");
    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    const std::string sealed = SealCredentials(CredentialPlaintext("13800000000", "secret"));
    EXPECT_EQ(ReadFile(CredentialFilePath()), sealed);
    std::optional<LoadedCredentials> loaded = LoadCredentialsWithKeyInfo();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_TRUE(loaded->fixed_key_in_use);
    ASSERT_TRUE(AutoLogin().logged_in);
    EXPECT_EQ(ReadFile(CredentialFilePath()), sealed);
    LogoutAccount();
    EXPECT_FALSE(fs::exists(CredentialFilePath()));
}

TEST_F(CredentialFileTest, UnwritableFileIsReported) {
    fs::create_directories(CredentialFilePath());
    EXPECT_FALSE(SaveCredentials("13800000000", "secret"));
    fs::remove(CredentialFilePath());
}

TEST_F(CredentialFileTest, AutoLoginShowsTheStoredAccount) {
    login_reply_ = AcceptedReply("13800000000");
    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    AutoLoginResult result = AutoLogin();
    EXPECT_TRUE(result.logged_in);
    EXPECT_EQ(result.shown_name, L"13800000000");
    EXPECT_EQ(login_body_, "{\"mobilephone\":\"13800000000\",\"password\":\"secret\"}");
    UserRecord record = UserInfo::Instance()->Get();
    EXPECT_EQ(record.id, 42);
    EXPECT_EQ(record.mobilephone, "13800000000");
    EXPECT_EQ(record.last_login_ip, "10.0.0.1");
    EXPECT_EQ(record.last_login_time, 1700000000);
    EXPECT_EQ(record.register_time, 1600000000);
    EXPECT_TRUE(LoadCredentials().has_value()) << "the file is left as it was";
}

TEST_F(CredentialFileTest, RejectedStoredPasswordLeavesTheUserLoggedOutSilently) {
    login_reply_ = "{\"ret\":1}";
    ASSERT_TRUE(SaveCredentials("13800000000", "old"));
    velquist::test::CaptureStderr();
    AutoLoginResult result = AutoLogin();
    std::string err = velquist::test::TakeCapturedStderr();
    EXPECT_FALSE(result.logged_in);
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_EQ(err, "");
    EXPECT_TRUE(LoadCredentials().has_value());
}

TEST_F(CredentialFileTest, UnreachableServiceIsLogged) {
    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    SetServiceBaseUrl("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    velquist::test::CaptureStderr();
    EXPECT_FALSE(AutoLogin().logged_in);
    std::string err = velquist::test::TakeCapturedStderr();
    EXPECT_NE(err.find("账号或密码错误!"), std::string::npos) << err;
    EXPECT_NE(err.find("mainwnd"), std::string::npos) << err;
}

TEST_F(CredentialFileTest, DamagedOrEmptyFileIsLoggedAndSendsNothing) {
    std::string damaged = kSealed48;
    damaged[70] = damaged[70] == 'A' ? 'B' : 'A';
    for (const std::string& content : {std::string(), damaged, std::string("QUJD")}) {
        WriteFile(CredentialFilePath(), content);
        velquist::test::CaptureStderr();
        EXPECT_FALSE(AutoLogin().logged_in);
        std::string err = velquist::test::TakeCapturedStderr();
        EXPECT_NE(err.find("json parse err"), std::string::npos) << err;
    }
    EXPECT_EQ(login_requests_, 0);

    DeleteCredentials();
    velquist::test::CaptureStderr();
    EXPECT_FALSE(AutoLogin().logged_in);
    EXPECT_EQ(velquist::test::TakeCapturedStderr(), "") << "no file: silent";
}

TEST_F(CredentialFileTest, LogoutDeletesTheFileAndForgetsThePhoneOnly) {
    login_reply_ = AcceptedReply("13800000000");
    ASSERT_TRUE(SaveCredentials("13800000000", "secret"));
    ASSERT_TRUE(AutoLogin().logged_in);
    LogoutAccount();
    EXPECT_FALSE(fs::exists(CredentialFilePath()));
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_EQ(UserInfo::Instance()->Get().id, 42);
    LogoutAccount(); // a second logout finds no file and is fine
}

} // namespace
} // namespace velquist
