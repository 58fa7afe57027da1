#include "app/main_settings.h"
#include "support/temp_dir.h"
#include "util/text.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;

TEST(StoredSettings, FormatMatchesTrimmedTextExactly) {
    EXPECT_EQ(FormatIndexFor(L"jpg"), 0);
    EXPECT_EQ(FormatIndexFor(L"  png \t"), 1);
    EXPECT_EQ(FormatIndexFor(L"bmp\n"), 2);
    EXPECT_EQ(FormatIndexFor(L"PNG"), -1);
    EXPECT_EQ(FormatIndexFor(L"Jpg"), -1);
    EXPECT_EQ(FormatIndexFor(L""), -1);
    EXPECT_EQ(FormatIndexFor(L"jpeg"), -1);
}

TEST(StoredSettings, QualityMatchesOnlyTheTenSteps) {
    EXPECT_EQ(QualityIndexFor(L"10"), 0);
    EXPECT_EQ(QualityIndexFor(L" 90 "), 8);
    EXPECT_EQ(QualityIndexFor(L"100"), 9);
    EXPECT_EQ(QualityIndexFor(L"55"), -1);
    EXPECT_EQ(QualityIndexFor(L"090"), -1);
    EXPECT_EQ(QualityIndexFor(L"0"), -1);
    EXPECT_EQ(QualityIndexFor(L"110"), -1);
}

TEST(StoredSettings, ExistingFileChoiceAndItsStoredValueGoBothWays) {
    EXPECT_EQ(ExistingFileIndexFor(L"overwrite"), 0);
    EXPECT_EQ(ExistingFileIndexFor(L" skip\n"), 1);
    EXPECT_EQ(ExistingFileIndexFor(L"rename"), 2);
    for (const wchar_t* other : {L"", L"Skip", L"keep", L"2"}) {
        EXPECT_EQ(ExistingFileIndexFor(other), 0) << WideToUtf8(other);
    }
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(ExistingFileIndexFor(ExistingFileValueAt(index)), index);
    }
    EXPECT_EQ(ExistingFileValueAt(3), L"overwrite");
    EXPECT_EQ(ExistingFileValueAt(-1), L"overwrite");
}

TEST(StoredSettings, ExifOnlyForOne) {
    EXPECT_TRUE(ExifCheckedFor(L"1"));
    EXPECT_TRUE(ExifCheckedFor(L" 1 "));
    EXPECT_FALSE(ExifCheckedFor(L"0"));
    EXPECT_FALSE(ExifCheckedFor(L""));
    EXPECT_FALSE(ExifCheckedFor(L"true"));
    EXPECT_FALSE(ExifCheckedFor(L"11"));
}

TEST(FolderWriteTest, WritableFolderPassesAndLeavesNothing) {
    test::TempDir dir;
    EXPECT_TRUE(CanWriteInFolder(dir.Path()));
    EXPECT_TRUE(CanWriteInFolder(dir.Path() + "/"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(FolderWriteTest, ReadOnlyOrMissingFolderFailsAndLeavesNothing) {
    test::TempDir dir;
    const std::string folder = dir.File("locked");
    fs::create_directory(folder);
    chmod(folder.c_str(), 0555);
    // Permissions do not stop root; /proc takes no new files from anyone.
    const std::string readOnly = access(folder.c_str(), W_OK) == 0 ? "/proc" : folder;
    EXPECT_FALSE(CanWriteInFolder(readOnly));
    EXPECT_FALSE(fs::exists(readOnly + "/MorvaneTmp"));
    EXPECT_FALSE(CanWriteInFolder(dir.File("missing")));
    EXPECT_FALSE(fs::exists(dir.File("missing")));
}

TEST(FolderWriteTest, UsersOwnProbeNamedFileSurvives) {
    test::TempDir dir;
    std::ofstream(dir.File("MorvaneTmp")) << "keep me";
    EXPECT_TRUE(CanWriteInFolder(dir.Path()));
    std::ifstream in(dir.File("MorvaneTmp"));
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

} // namespace
} // namespace velquist
