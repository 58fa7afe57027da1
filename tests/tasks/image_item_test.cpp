#include "tasks/image_item.h"
#include "test_env.h"
#include "util/text.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velquist {
namespace {

TEST(ImageItem, ExtensionMatchesOnlyFourExactSpellings) {
    EXPECT_TRUE(HasHeifExtension(L"a.heic"));
    EXPECT_TRUE(HasHeifExtension(L"a.HEIC"));
    EXPECT_TRUE(HasHeifExtension(L"a.b.heif"));
    EXPECT_TRUE(HasHeifExtension(L"a.HEIF"));
    EXPECT_FALSE(HasHeifExtension(L"a.Heic"));
    EXPECT_FALSE(HasHeifExtension(L"a.heic.jpg"));
    EXPECT_FALSE(HasHeifExtension(L"heic"));
    EXPECT_FALSE(HasHeifExtension(L"a.heics"));
}

TEST(ImageItem, FolderScanTakesMatchingFilesOfThatFolderOnly) {
    testing::TempDir dir;
    dir.Write("one.heic", "12345");
    dir.Write("two.HEIF", "");
    dir.Write("three.Heic", "x");
    dir.Write("four.jpg", "x");
    dir.Write("sub/five.heic", "x");
    std::filesystem::create_directory(dir.Path() + "/dir.heic");
    ::mkfifo((dir.Path() + "/pipe.heic").c_str(), 0600);
    dir.Write("照片.heic", "abc");

    auto items = ScanImageFolder(AnsiToWide(dir.Path()));
    std::sort(items.begin(), items.end(),
              [](const ImageItem& a, const ImageItem& b) { return a.fileName < b.fileName; });
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].fileName, L"one.heic");
    EXPECT_EQ(items[0].sourcePath, AnsiToWide(dir.Path()) + L"/one.heic");
    EXPECT_EQ(items[0].fileSize, 5);
    EXPECT_TRUE(items[0].outputPath.empty());
    EXPECT_EQ(items[1].fileName, L"two.HEIF");
    EXPECT_EQ(items[2].fileName, L"照片.heic");
    EXPECT_EQ(items[2].fileSize, 3);

    EXPECT_TRUE(ScanImageFolder(AnsiToWide(dir.Path() + "/missing")).empty());
}

TEST(ImageItem, TreeScanGivesEveryFileItsSubfolderAndFollowsNoFolderLink) {
    testing::TempDir dir;
    dir.Write("Phone/top.heic", "x");
    dir.Write("Phone/2023/IMG_1.heic", "x");
    dir.Write("Phone/2023/May/IMG_1.HEIC", "x");
    dir.Write("Phone/2023/May/notes.txt", "x");
    dir.Write("Elsewhere/outside.heic", "x");
    std::filesystem::create_directory_symlink(dir.Path() + "/Elsewhere",
                                              dir.Path() + "/Phone/link");
    std::vector<std::pair<std::wstring, std::wstring>> found;
    for (const ImageItem& item : ScanImageFolderTree(AnsiToWide(dir.Path() + "/Phone"))) {
        found.emplace_back(item.subFolder, item.fileName);
        EXPECT_EQ(item.sourcePath, AnsiToWide(dir.Path() + "/Phone/") +
                                       (item.subFolder.empty() ? L"" : item.subFolder + L"/") +
                                       item.fileName);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::pair<std::wstring, std::wstring>>{
                  {L"", L"top.heic"}, {L"2023", L"IMG_1.heic"}, {L"2023/May", L"IMG_1.HEIC"}}));
}

} // namespace
} // namespace velquist
