#include "app/image_sources.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace velquist {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path, int bytes) {
    std::ofstream(path) << std::string(bytes, 'x');
}

std::set<std::string> Names(const std::vector<ImageItem>& items) {
    std::set<std::string> names;
    for (const ImageItem& item : items) {
        names.insert(item.fileName);
    }
    return names;
}

TEST(PickedFiles, KeepOrderNamesAndSizes) {
    test::TempDir dir;
    Touch(dir.File("b.heic"), 10);
    Touch(dir.File("a.heif"), 3);
    const auto items = ItemsFromFiles(
        {dir.File("b.heic"), dir.File("a.heif"), dir.File("b.heic"), dir.File("gone.heic")});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].fileName, "b.heic");
    EXPECT_EQ(items[0].sourcePath, dir.File("b.heic"));
    EXPECT_EQ(items[0].fileSize, 10);
    EXPECT_EQ(items[1].fileName, "a.heif");
    EXPECT_EQ(items[1].fileSize, 3);
    EXPECT_EQ(items[2].fileName, "b.heic"); // the same file twice is listed twice
    EXPECT_EQ(items[3].fileSize, 0);
    EXPECT_TRUE(items[0].outputPath.empty());
}

TEST(PickedFiles, NamesLongerThanTheOldPathLimitAreKept) {
    test::TempDir dir;
    std::string folder = dir.Path();
    while (folder.size() < 300) {
        folder += "/" + std::string(60, 'd');
    }
    fs::create_directories(folder);
    Touch(folder + "/long.heic", 1);
    const auto items = ItemsFromFiles({folder + "/long.heic"});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].fileSize, 1);
}

TEST(DroppedPaths, FoldersByTheFolderRuleFilesByTheDialogFilter) {
    test::TempDir dir;
    const std::string folder = dir.File("photos");
    fs::create_directories(folder + "/sub");
    for (const char* name : {"a.heic", "b.HEIF", "c.Heic", "d.jpg", "noext"}) {
        Touch(folder + "/" + name, 1);
    }
    Touch(folder + "/sub/e.heic", 1);
    Touch(dir.File("single.Heic"), 5);
    Touch(dir.File("camera.Hif"), 5);
    Touch(dir.File("other.png"), 5);

    const auto items = ItemsFromDrop({folder, dir.File("single.Heic"), dir.File("camera.Hif"),
                                      dir.File("other.png"), dir.File("missing.heic")});
    EXPECT_EQ(Names(items),
              (std::set<std::string>{"a.heic", "b.HEIF", "single.Heic", "camera.Hif"}));
    const auto single = std::find_if(
        items.begin(), items.end(), [](const ImageItem& i) { return i.fileName == "single.Heic"; });
    ASSERT_NE(single, items.end());
    EXPECT_EQ(single->fileSize, 5);
    EXPECT_EQ(single->sourcePath, dir.File("single.Heic"));
}

TEST(DroppedPaths, WithSubfoldersAFolderBringsItsTreeAndAFileStaysFlat) {
    test::TempDir dir;
    const std::string folder = dir.File("Phone");
    fs::create_directories(folder + "/2023/May");
    Touch(folder + "/a.heic", 1);
    Touch(folder + "/2023/May/b.heic", 1);
    Touch(dir.File("single.heic"), 1);
    std::set<std::pair<std::string, std::string>> found;
    for (const ImageItem& item : ItemsFromDrop({folder, dir.File("single.heic")}, true)) {
        found.insert({item.subFolder, item.fileName});
    }
    EXPECT_EQ(found, (std::set<std::pair<std::string, std::string>>{
                         {"", "a.heic"}, {"2023/May", "b.heic"}, {"", "single.heic"}}));
}

TEST(DroppedPaths, AFolderNamedLikeAnImageIsScannedNotAdded) {
    test::TempDir dir;
    fs::create_directories(dir.File("trip.heic"));
    Touch(dir.File("trip.heic") + "/in.heic", 1);
    EXPECT_EQ(Names(ItemsFromDrop({dir.File("trip.heic")})), (std::set<std::string>{"in.heic"}));
}

} // namespace
} // namespace velquist
