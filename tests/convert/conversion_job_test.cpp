#include "convert/conversion_settings.h"
#include "convert/convert_task.h"
#include "convert_test_util.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

TEST(BuildOutputPath, NamesAfterTheSourceBaseName) {
    EXPECT_EQ(BuildOutputPath("/pics/IMG_0001.HEIC", "/out", OutputFormat::kJpg),
              "/out/IMG_0001.jpg");
    EXPECT_EQ(BuildOutputPath("/pics/a.b.heic", "/out", OutputFormat::kJpg), "/out/a.b.jpg");
    EXPECT_EQ(BuildOutputPath("/x/photo", "/out", OutputFormat::kPng), "/out/photo.png");
    EXPECT_EQ(BuildOutputPath("photo.heic", "out", OutputFormat::kBmp), "out/photo.bmp");
    EXPECT_EQ(BuildOutputPath("/x.y/photo", "/o", OutputFormat::kPng), "/o/photo.png");
}

TEST(RunConversion, DiagnosticTexts) {
    TempDir dir;
    const std::string good = MakeFixture(dir, "good.heic", HeicImageSpec());
    {
        std::ofstream(dir.File("fake.heic")) << "\xFF\xD8\xFF\xE0 this is a JPEG";
        const ConversionOutcome o = Convert(dir.File("fake.heic"), dir.File("fake.jpg"), "jpg");
        EXPECT_EQ(o.status, kTaskFailed);
        EXPECT_EQ(o.diagnostics.rfind("Could not read HEIF file: ", 0), 0u) << o.diagnostics;
    }
    for (const char* format : {"jpg", "png", "bmp"}) {
        const std::string out = dir.File("missing/out.") + format;
        const ConversionOutcome o = Convert(good, out, format);
        EXPECT_EQ(o.status, kTaskFailed);
        EXPECT_EQ(
            o.diagnostics,
            "Can't open " + out +
                ": No such file or directory\ncould not write image: No such file or directory\n");
    }
    {
        const ConversionOutcome o = Convert(dir.File("absent.heic"), dir.File("absent.jpg"), "jpg");
        EXPECT_EQ(o.diagnostics.rfind("Could not read HEIF file: ", 0), 0u) << o.diagnostics;
    }
}

TEST(RunConversion, ConvertsThePrimaryImage) {
    TempDir dir;
    HeicImageSpec first;
    first.width = 32;
    first.height = 32;
    HeicImageSpec second;
    second.width = 48;
    second.height = 16;
    const std::string path = dir.File("multi.heic");
    ASSERT_EQ(WriteHeic(path, {first, second}, 1), "");
    ASSERT_EQ(Convert(path, dir.File("multi.bmp"), "bmp").status, kTaskSucceeded);
    DecodedImage image;
    ASSERT_EQ(ReadBmp(dir.File("multi.bmp"), &image), "");
    EXPECT_EQ(image.width, 48);
    EXPECT_EQ(image.height, 16);
    ASSERT_EQ(WriteHeic(path, {first, second}, 0), "");
    ASSERT_EQ(Convert(path, dir.File("multi.bmp"), "bmp").status, kTaskSucceeded);
    ASSERT_EQ(ReadBmp(dir.File("multi.bmp"), &image), "");
    EXPECT_EQ(image.width, 32) << "a second run replaces the first output";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(RunConversion, FailedWriteKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string good = MakeFixture(dir, "good.heic", HeicImageSpec());
    // A directory where the output should be: the final rename cannot replace it.
    std::filesystem::create_directory(dir.File("taken.png"));
    std::ofstream(dir.File("taken.png/keep")) << "earlier";
    const ConversionOutcome o = Convert(good, dir.File("taken.png"), "png");
    EXPECT_EQ(o.status, kTaskFailed);
    EXPECT_EQ(o.diagnostics, "Can't rename " + dir.File("taken.png") +
                                 ": Is a directory\ncould not write image: Is a directory\n")
        << "the line names the step that failed, not the open that went well";
    EXPECT_TRUE(std::filesystem::exists(dir.File("taken.png/keep")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2)
        << "no temporary file";
}

} // namespace
} // namespace velquist::test

namespace velquist::test {
namespace {

TEST(RunConversion, NeverReplacesItsOwnInput) {
    TempDir dir;
    const std::string path = MakeFixture(dir, "photo.jpg", HeicImageSpec());
    const std::vector<uint8_t> before = ReadFileBytes(path);
    const ConversionOutcome o = Convert(path, path, "jpg");
    EXPECT_EQ(o.status, kTaskFailed);
    EXPECT_EQ(o.diagnostics, "Output file " + path + " is the input file, not overwritten\n");
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(RunConversion, UndecodableImageDataIsReported) {
    TempDir dir;
    const std::string path = MakeFixture(dir, "broken.heic", HeicImageSpec());
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    const size_t mdat = text.find("mdat");
    ASSERT_NE(mdat, std::string::npos);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(mdat + 4), bytes.end(), 0);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const ConversionOutcome o = Convert(path, dir.File("broken.png"), "png");
    EXPECT_EQ(o.status, kTaskFailed);
    EXPECT_EQ(o.diagnostics.rfind("Could not decode HEIF image: 0: ", 0), 0u) << o.diagnostics;
    EXPECT_FALSE(std::filesystem::exists(dir.File("broken.png")));
}

} // namespace
} // namespace velquist::test
