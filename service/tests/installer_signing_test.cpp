#include "child_service.h"
#include "installer_signing.h"
#include "ret_codes.h"
#include "service_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sodium.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace velquist::service::testing {
namespace {

constexpr const char* kUpgradeBody = "{\"app_name\":\"Morvane\"}";

std::string Decoded(const std::string& text) {
    std::string bytes(text.size(), '\0');
    std::size_t size = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(),
                          text.size(), "\n", &size, &end, sodium_base64_VARIANT_ORIGINAL) != 0) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

// What the desktop program does with a downloaded installer: Ed25519ph over
// the whole file, fed in pieces.
bool Verifies(const std::string& installer, const std::string& signature_text,
              const std::string& public_key) {
    const std::string signature = Decoded(signature_text);
    const std::string bytes = ReadFile(installer);
    if (signature.size() != crypto_sign_BYTES || public_key.size() != crypto_sign_PUBLICKEYBYTES) {
        return false;
    }
    crypto_sign_state state;
    crypto_sign_init(&state);
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
        const std::string piece = bytes.substr(at, 1000);
        crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(piece.data()),
                           piece.size());
    }
    return crypto_sign_final_verify(
               &state, reinterpret_cast<unsigned char*>(const_cast<char*>(signature.data())),
               reinterpret_cast<const unsigned char*>(public_key.data())) == 0;
}

class InstallerSigning : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GE(sodium_init(), 0); }
    std::string Path(const std::string& name) const { return dir_.path() + "/" + name; }
    TempDir dir_;
};

TEST_F(InstallerSigning, KeygenWritesOnePrivateLineEachAndNeverOverwrites) {
    std::string error;
    ASSERT_TRUE(MakeSigningKeys(Path("maker.key"), Path("maker.pub"), &error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(Path("maker.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const std::string secret_text = ReadFile(Path("maker.key"));
    const std::string public_text = ReadFile(Path("maker.pub"));
    EXPECT_EQ(secret_text.find('\n'), secret_text.size() - 1);
    EXPECT_EQ(public_text.find('\n'), public_text.size() - 1);
    const std::string secret = Decoded(secret_text);
    const std::string public_key = Decoded(public_text);
    ASSERT_EQ(secret.size(), 64u);
    ASSERT_EQ(public_key.size(), 32u);
    EXPECT_EQ(secret.substr(32), public_key) << "libsodium's secret key ends in its public key";

    EXPECT_FALSE(MakeSigningKeys(Path("maker.key"), Path("other.pub"), &error));
    EXPECT_EQ(ReadFile(Path("maker.key")), secret_text);
    EXPECT_FALSE(std::filesystem::exists(Path("other.pub")));
    // No secret key stays behind without its public key.
    EXPECT_FALSE(MakeSigningKeys(Path("new.key"), Path("maker.pub"), &error));
    EXPECT_FALSE(std::filesystem::exists(Path("new.key")));
    EXPECT_EQ(ReadFile(Path("maker.pub")), public_text);
}

TEST_F(InstallerSigning, SignatureCoversEveryByteOfTheInstaller) {
    std::string error;
    ASSERT_TRUE(MakeSigningKeys(Path("maker.key"), Path("maker.pub"), &error)) << error;
    const std::string public_key = Decoded(ReadFile(Path("maker.pub")));
    // Larger than one read, so the pieces must add up.
    std::string payload(300 * 1024 + 17, '\0');
    randombytes_buf(payload.data(), payload.size());
    WriteFile(Path("setup.run"), payload);

    ASSERT_TRUE(SignInstaller(Path("maker.key"), Path("setup.run"), &error)) << error;
    const std::string signature = ReadFile(Path("setup.run.sig"));
    EXPECT_EQ(signature.find('\n'), signature.size() - 1);
    EXPECT_TRUE(Verifies(Path("setup.run"), signature, public_key));

    payload[payload.size() / 2] ^= 1;
    WriteFile(Path("setup.run"), payload);
    EXPECT_FALSE(Verifies(Path("setup.run"), signature, public_key));
    // Signing again replaces the old signature, and leaves nothing else behind.
    ASSERT_TRUE(SignInstaller(Path("maker.key"), Path("setup.run"), &error)) << error;
    EXPECT_TRUE(Verifies(Path("setup.run"), ReadFile(Path("setup.run.sig")), public_key));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        ++files;
    }
    EXPECT_EQ(files, 4u);
}

TEST_F(InstallerSigning, MakerCommandsRunInsteadOfTheService) {
    const std::map<std::string, std::string> env;
    EXPECT_EQ(RunToEnd({"keygen", "--secret-key", Path("k"), "--public-key=" + Path("p")}, env), 0);
    WriteFile(Path("setup.run"), "payload");
    EXPECT_EQ(RunToEnd({"sign-installer", "--secret-key", Path("k"), Path("setup.run")}, env), 0);
    EXPECT_TRUE(
        Verifies(Path("setup.run"), ReadFile(Path("setup.run.sig")), Decoded(ReadFile(Path("p")))));
    EXPECT_EQ(RunToEnd({"keygen", "--secret-key", Path("k2")}, env), 2);
    EXPECT_EQ(RunToEnd({"sign-installer", "--public-key", Path("p"), Path("setup.run")}, env), 2);
    EXPECT_EQ(RunToEnd({"keygen", "--secret-key", Path("k"), "--public-key", Path("p3")}, env), 1);
    // A damaged key signs nothing (here a flipped character of the seed).
    std::string key = ReadFile(Path("k"));
    key[10] = key[10] == 'A' ? 'B' : 'A';
    WriteFile(Path("k"), key);
    std::filesystem::remove(Path("setup.run.sig"));
    EXPECT_EQ(RunToEnd({"sign-installer", "--secret-key", Path("k"), Path("setup.run")}, env), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("setup.run.sig")));
}

using SignedUpdate = ServiceFixture;

TEST_F(SignedUpdate, SignatureBesideTheInstallerIsAnsweredWithItsDigest) {
    const std::string installer = options_.installers + "/Velquist-1.0.1.run";
    WriteFile(installer, "abc");
    HttpResult res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_EQ(res.json["data"]["size"].asInt64(), 3);
    EXPECT_FALSE(res.json["data"].isMember("signature")) << "no .sig, no signature";

    std::string error;
    ASSERT_TRUE(MakeSigningKeys(dir_->path() + "/k", dir_->path() + "/p", &error)) << error;
    ASSERT_TRUE(SignInstaller(dir_->path() + "/k", installer, &error)) << error;
    const std::string signature = ReadFile(installer + ".sig");
    res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_EQ(res.json["data"]["signature"].asString() + "\n", signature);
    EXPECT_EQ(res.json["data"]["sha256"].asString(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // A .sig that holds no signature is no signature.
    WriteFile(installer + ".sig", "not base64 at all\n");
    res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_FALSE(res.json["data"].isMember("signature"));
    std::filesystem::remove(installer + ".sig");
    res = Post("/v1/upgrade_check", kUpgradeBody);
    EXPECT_FALSE(res.json["data"].isMember("signature"));
}

TEST_F(SignedUpdate, InstallerElsewhereTakesTheManifestsSignature) {
    const std::string signature(86, 'A');
    WriteFile(options_.manifest,
              R"({"Morvane":{"app_version":"1.0.2","download_url":"https://cdn.example/v.run",
                 "size":3,"sha256":"ab","signature":")" +
                  signature + R"(=="}})");
    HttpResult res = Post("/v1/upgrade_check", kUpgradeBody);
    ASSERT_EQ(res.ret(), kRetOk) << res.body;
    EXPECT_EQ(res.json["data"]["signature"].asString(), signature + "==");

    WriteFile(options_.manifest,
              R"({"Morvane":{"app_version":"1.0.2","download_url":"https://cdn.example/v.run",
                 "signature":"c2hvcnQ="}})");
    res = Post("/v1/upgrade_check", kUpgradeBody);
    ASSERT_EQ(res.ret(), kRetOk) << res.body;
    EXPECT_FALSE(res.json["data"].isMember("signature")) << "too short to be a signature";
}

} // namespace
} // namespace velquist::service::testing
