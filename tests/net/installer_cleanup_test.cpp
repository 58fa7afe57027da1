#include "net/installer_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace velquist {
namespace {

namespace fs = std::filesystem;

TEST(InstallerCleanup, VersionIsTheFirstThreeNumberRunInTheName) {
    struct Case {
        const char* name;
        bool found;
        int major, minor, revision;
    };
    const Case cases[] = {
        {"velquist_1.2.3_amd64.deb", true, 1, 2, 3},
        {"velquist-10.0.12.deb", true, 10, 0, 12},
        {"x64_2.0.1.deb", true, 2, 0, 1}, // "64_" is no version, the run after it is
        {"setup.deb", false, 0, 0, 0},
        {"velquist_1.2.deb", false, 0, 0, 0},
        {"v1.2.x.deb", false, 0, 0, 0},
        {"v1234567890.1.1.deb", false, 0, 0, 0}, // too long to be a version number
    };
    for (const Case& c : cases) {
        int major = -1, minor = -1, revision = -1;
        ASSERT_EQ(VersionInFileName(c.name, &major, &minor, &revision), c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(major, c.major) << c.name;
            EXPECT_EQ(minor, c.minor) << c.name;
            EXPECT_EQ(revision, c.revision) << c.name;
        }
    }
}

class InstallerCleanupFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::path(std::getenv("XDG_DATA_HOME")) /
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(root_);
        folder_ = root_ / "Temp";
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(root_); }

    void Make(const fs::path& path) { std::ofstream(path) << "x"; }

    std::set<std::string> Left() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.insert(entry.path().filename().native());
        }
        return names;
    }

    fs::path root_;
    fs::path folder_;
};

TEST_F(InstallerCleanupFolder, RemovesOnlyInstallersNoNewerThanTheRunningProgram) {
    const std::string notUtf8 = "velquist_\xff\xfe_0.9.0.deb";
    for (const std::string& name :
         {std::string("velquist_1.0.0_amd64.deb"), std::string("velquist_1.0.1_amd64.deb"),
          std::string("velquist_1.0.2_amd64.deb"), std::string("velquist_2.0.0_amd64.deb"),
          std::string("notes_0.1.0.txt"), std::string("setup.deb"), std::string(".partial-a1B2c3"),
          notUtf8}) {
        Make(folder_ / name);
    }
    EXPECT_EQ(RemoveStaleInstallers(folder_.string(), "1.0.1"), 4);
    EXPECT_EQ(Left(), (std::set<std::string>{"velquist_1.0.2_amd64.deb",
                                             "velquist_2.0.0_amd64.deb", "notes_0.1.0.txt",
                                             "setup.deb"}));
}

TEST_F(InstallerCleanupFolder, NeverReachesOutsideTheFolder) {
    const fs::path outside = root_ / "velquist_0.1.0_amd64.deb";
    Make(outside);
    fs::create_symlink(outside, folder_ / "link_0.1.0.deb");
    fs::create_directories(folder_ / "old_0.1.0.deb");
    Make(folder_ / "old_0.1.0.deb" / "velquist_0.1.0_amd64.deb");

    EXPECT_EQ(RemoveStaleInstallers(folder_.string(), "1.0.1"), 0);
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::is_symlink(folder_ / "link_0.1.0.deb"));
    EXPECT_TRUE(fs::exists(folder_ / "old_0.1.0.deb" / "velquist_0.1.0_amd64.deb"));

    EXPECT_EQ(RemoveStaleInstallers((root_ / "missing").string(), "1.0.1"), 0);
    EXPECT_EQ(RemoveStaleInstallers("", "1.0.1"), 0);
}

} // namespace
} // namespace velquist
