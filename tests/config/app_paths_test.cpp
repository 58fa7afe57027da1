#include "config/app_paths.h"
#include "config/config_file.h"
#include "support/output_capture.h"
#include "temp_home.h"
#include "util/text.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace velquist {
namespace {

using testing::IsDir;
using testing::TempHome;
using testing::WriteText;

class AppPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = TempHome();
        std::filesystem::remove(WideToUtf8(GetConfigFilePath()));
        std::filesystem::remove(home_ + "/cfg/user-dirs.dirs");
        std::filesystem::remove_all(home_ + "/Pictures");
        std::filesystem::remove_all(home_ + "/tree");
    }
    std::string home_;
};

TEST_F(AppPaths, DataFolderFollowsXdgDataHomeElseLocalShare) {
    EXPECT_EQ(EnsureAppDataDir(L"Plivern/Temp"), AnsiToWide(home_ + "/data/Plivern/Temp"));
    EXPECT_TRUE(IsDir(home_ + "/data/Plivern/Temp"));

    const std::string saved = std::getenv("XDG_DATA_HOME");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(EnsureAppDataDir(L"Morvane/Data"), AnsiToWide(home_ + "/.local/share/Morvane/Data"));
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    EXPECT_TRUE(IsDir(home_ + "/.local/share/Morvane/Data"));
}

TEST_F(AppPaths, PicturesFolderComesFromUserDirsWithHomeExpanded) {
    EXPECT_EQ(GetPicturesDir(), AnsiToWide(home_ + "/Pictures"));
    WriteText(home_ + "/cfg/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_PICTURES_DIR=\"$HOME/图片\"\n");
    EXPECT_EQ(GetPicturesDir(), AnsiToWide(home_ + "/图片"));
    WriteText(home_ + "/cfg/user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/photos\"\n");
    EXPECT_EQ(GetPicturesDir(), L"/srv/photos");
    WriteText(home_ + "/cfg/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/\"\n");
    EXPECT_EQ(GetPicturesDir(), AnsiToWide(home_ + "/Pictures"));
}

TEST_F(AppPaths, DefaultOutputFolderIsPicturesHeicAndIsNotStored) {
    EXPECT_EQ(GetOutputDir(), AnsiToWide(home_ + "/Pictures/Heic"));
    EXPECT_TRUE(IsDir(home_ + "/Pictures/Heic"));
    std::wstring value;
    EXPECT_FALSE(ReadConfigValue(L"global", L"output-dir", L"", value));
}

TEST_F(AppPaths, ConfiguredOutputFolderIsTrimmedAndRecreated) {
    const std::string dir = home_ + "/tree/out put";
    ASSERT_TRUE(WriteConfigValue(L"global", L"output-dir", L"  " + AnsiToWide(dir) + L" \t"));
    EXPECT_EQ(GetOutputDir(), AnsiToWide(dir));
    EXPECT_TRUE(IsDir(dir));
    std::filesystem::remove_all(home_ + "/tree");
    GetOutputDir();
    EXPECT_TRUE(IsDir(dir));
}

TEST_F(AppPaths, LongConfiguredOutputFolderIsUsedAsWritten) {
    const std::string dir = home_ + "/tree/" + std::string(200, 'a') + "/" + std::string(100, 'b');
    ASSERT_TRUE(WriteConfigValue(L"global", L"output-dir", AnsiToWide(dir)));
    EXPECT_EQ(GetOutputDir(), AnsiToWide(dir));
    EXPECT_TRUE(IsDir(dir));
}

TEST_F(AppPaths, TreeWithTrailingSlashCreatesTheSameLevels) {
    const std::wstring path = AnsiToWide(home_ + "/tree/a//b/");
    EXPECT_EQ(CreateDirectoryTree(path), path);
    EXPECT_TRUE(IsDir(home_ + "/tree/a/b"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_ + "/tree/a"), {}), 1);
}

TEST_F(AppPaths, LevelThatCannotBeCreatedIsReportedAndPathReturned) {
    WriteText(home_ + "/tree/file", "x");
    velquist::test::CaptureStdout();
    const std::wstring path = AnsiToWide(home_ + "/tree/file/sub/last");
    EXPECT_EQ(CreateDirectoryTree(path), path);
    const std::string out = velquist::test::TakeCapturedStdout();
    EXPECT_NE(out.find("create dir error fullPath: " + home_ + "/tree/file\n"), std::string::npos);
    EXPECT_NE(out.find("create dir error curPath: " + home_ + "/tree/file/sub/last\n"),
              std::string::npos);
}

} // namespace
} // namespace velquist
