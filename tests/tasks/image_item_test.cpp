#include "tasks/image_item.h"
#include "test_env.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velquist {
namespace {

TEST(ImageItem, ExtensionMatchesHeicHeifAndHifInOneCaseEach) {
    for (const char* name :
         {"a.heic", "a.HEIC", "a.b.heif", "a.HEIF", "DSC01.hif", "DSC01.HIF", "bad\xff.hif"}) {
        EXPECT_TRUE(HasHeifExtension(name)) << name;
    }
    for (const char* name :
         {"a.Heic", "a.Hif", "a.heic.jpg", "heic", "hif", "a.heics", "a.hiff", "a.hif\xff"}) {
        EXPECT_FALSE(HasHeifExtension(name)) << name;
    }
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
    dir.Write("camera\xff.HIF", "ab");

    auto items = ScanImageFolder(dir.Path());
    std::sort(items.begin(), items.end(),
              [](const ImageItem& a, const ImageItem& b) { return a.fileName < b.fileName; });
    ASSERT_EQ(items.size(), 4u);
    // The name that is not UTF-8 arrives as its bytes, ready for open().
    EXPECT_EQ(items[0].fileName, "camera\xff.HIF");
    EXPECT_EQ(items[0].sourcePath, dir.Path() + "/camera\xff.HIF");
    EXPECT_EQ(items[0].fileSize, 2);
    EXPECT_EQ(items[1].fileName, "one.heic");
    EXPECT_EQ(items[1].sourcePath, dir.Path() + "/one.heic");
    EXPECT_EQ(items[1].fileSize, 5);
    EXPECT_TRUE(items[1].outputPath.empty());
    EXPECT_EQ(items[2].fileName, "two.HEIF");
    EXPECT_EQ(items[3].fileName, "照片.heic");
    EXPECT_EQ(items[3].fileSize, 3);

    EXPECT_TRUE(ScanImageFolder(dir.Path() + "/missing").empty());
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
    dir.Write("Phone/album\xfe/IMG_2.heic", "x");
    std::vector<std::pair<std::string, std::string>> found;
    for (const ImageItem& item : ScanImageFolderTree(dir.Path() + "/Phone")) {
        found.emplace_back(item.subFolder, item.fileName);
        EXPECT_EQ(item.sourcePath, dir.Path() + "/Phone/" +
                                       (item.subFolder.empty() ? "" : item.subFolder + "/") +
                                       item.fileName);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::pair<std::string, std::string>>{{"", "top.heic"},
                                                                {"2023", "IMG_1.heic"},
                                                                {"2023/May", "IMG_1.HEIC"},
                                                                {"album\xfe", "IMG_2.heic"}}));
}

} // namespace
} // namespace velquist
