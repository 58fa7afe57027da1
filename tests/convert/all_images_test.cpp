#include "convert/heif_header.h"
#include "convert/memory_estimate.h"
#include "convert/top_level_images.h"
#include "convert_test_util.h"
#include "exif_tiff_builder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

int Width(const std::string& path) {
    DecodedImage image;
    return ReadJpeg(path, &image).empty() ? image.width : -1;
}

ConvertTask AllImagesTask(const std::string& input, const std::string& output) {
    ConvertTask task;
    task.inputPath = input;
    task.outputPath = output;
    task.settings.allImages = true;
    return task;
}

// A small primary, a larger 10-bit image and a small one with alpha.
std::vector<HeicImageSpec> MixedBurst() {
    HeicImageSpec small;
    HeicImageSpec large;
    large.width = 640;
    large.height = 480;
    large.bitDepth = 10;
    HeicImageSpec withAlpha;
    withAlpha.alpha = true;
    withAlpha.width = 32;
    return {small, large, withAlpha};
}

TEST(AllImages, HeaderClaimsCoverTheLargestImageNotOnlyThePrimary) {
    TempDir dir;
    ASSERT_EQ(WriteHeic(dir.File("burst.heic"), MixedBurst()), "");
    const HeifHeader header = ReadHeifHeader(dir.File("burst.heic"));
    ASSERT_TRUE(header.parsed);
    EXPECT_EQ(header.width, 64u);
    EXPECT_EQ(header.imageCount, 3);
    EXPECT_EQ(header.largestPixels, 640u * 480u);
    EXPECT_EQ(header.largestBitDepth, 10);
    EXPECT_TRUE(header.anyAlpha);

    ConversionSettings settings;
    const std::uint64_t primaryOnly = EstimateJobMemory(header, settings);
    EXPECT_EQ(primaryOnly, EstimateConversionMemory(header, settings.format));
    settings.allImages = true;
    EXPECT_GE(EstimateJobMemory(header, settings),
              EstimateImageMemory(640u * 480u, 10, false, settings.format));
    EXPECT_GT(EstimateJobMemory(header, settings), primaryOnly);

    // A claim no file can back stays far above any budget instead of wrapping around.
    HeifHeader absurd = header;
    absurd.largestPixels = ~std::uint64_t{0};
    EXPECT_GT(EstimateJobMemory(absurd, settings), std::uint64_t{1} << 42);
}

TEST(AllImages, EveryImageIsWrittenUnderItsNumberedNameInOrder) {
    TempDir dir;
    ASSERT_EQ(WriteHeic(dir.File("burst.heic"), MixedBurst(), 1), "");
    const ConversionOutcome outcome =
        RunConversion(AllImagesTask(dir.File("burst.heic"), dir.File("out.jpg")), false);
    ASSERT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
    // The primary (the large one here) first, then the others in the file's order.
    EXPECT_EQ(Width(dir.File("out.jpg")), 640);
    EXPECT_EQ(Width(dir.File("out-2.jpg")), 64);
    EXPECT_EQ(Width(dir.File("out-3.jpg")), 32);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out-4.jpg")));

    // Off: the primary alone.
    ConvertTask single = AllImagesTask(dir.File("burst.heic"), dir.File("single.jpg"));
    single.settings.allImages = false;
    ASSERT_EQ(RunConversion(single, false).status, kTaskSucceeded);
    EXPECT_FALSE(std::filesystem::exists(dir.File("single-2.jpg")));
}

TEST(AllImages, ImagesBeyondTheReservedNamesAreNotWrittenAndTheJobFails) {
    TempDir dir;
    ASSERT_EQ(WriteHeic(dir.File("burst.heic"), MixedBurst()), "");
    ConvertTask task = AllImagesTask(dir.File("burst.heic"), dir.File("out.png"));
    task.settings.format = OutputFormat::kPng;
    task.imageOutputs = 2;
    const ConversionOutcome outcome = RunConversion(task, false);
    EXPECT_EQ(outcome.status, kTaskFailed);
    EXPECT_NE(outcome.diagnostics.find("File holds 3 images; only the first 2 written"),
              std::string::npos)
        << outcome.diagnostics;
    EXPECT_TRUE(std::filesystem::exists(dir.File("out.png")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out-2.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out-3.png")));
}

TEST(AllImages, AnImageLargerThanTheAdmittedMemoryIsRefusedAndTheOthersStillWritten) {
    TempDir dir;
    ASSERT_EQ(WriteHeic(dir.File("burst.heic"), MixedBurst()), "");
    ConvertTask task = AllImagesTask(dir.File("burst.heic"), dir.File("out.jpg"));
    // What the primary alone would have been admitted with.
    task.memoryEstimate =
        EstimateConversionMemory(ReadHeifHeader(task.inputPath), task.settings.format);
    const ConversionOutcome outcome = RunConversion(task, false);
    EXPECT_EQ(outcome.status, kTaskFailed);
    EXPECT_NE(outcome.diagnostics.find("image 2 not written: image too large: 640x480"),
              std::string::npos)
        << outcome.diagnostics;
    EXPECT_EQ(Width(dir.File("out.jpg")), 64);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out-2.jpg")));
    EXPECT_EQ(Width(dir.File("out-3.jpg")), 32);
}

TEST(AllImages, AnOtherImageNeverReplacesTheInput) {
    TempDir dir;
    // The input is named like the second output of its own conversion.
    ASSERT_EQ(WriteHeic(dir.File("shot-2.jpg"), MixedBurst()), "");
    const std::vector<uint8_t> before = ReadFileBytes(dir.File("shot-2.jpg"));
    const ConversionOutcome outcome =
        RunConversion(AllImagesTask(dir.File("shot-2.jpg"), dir.File("shot.jpg")), false);
    EXPECT_EQ(outcome.status, kTaskFailed);
    EXPECT_NE(outcome.diagnostics.find("is the input file, not overwritten"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dir.File("shot-2.jpg")), before);
    EXPECT_EQ(Width(dir.File("shot-3.jpg")), 32);
}

// The location leaves JPEG and PNG outputs; the rest of the Exif data stays.
TEST(StripLocation, JpegAndPngCarryTheExifBlockWithoutGps) {
    TempDir dir;
    for (const bool little : {true, false}) {
        HeicImageSpec spec;
        spec.exif = MakeExifWithLocation(little);
        const std::string input = MakeFixture(dir, little ? "ii.heic" : "mm.heic", spec);
        for (const OutputFormat format : {OutputFormat::kJpg, OutputFormat::kPng}) {
            SCOPED_TRACE(std::string(little ? "II " : "MM ") + FormatName(format));
            for (const bool strip : {false, true}) {
                ConvertTask task;
                task.inputPath = input;
                task.outputPath = dir.File(std::string("out.") + FormatName(format));
                task.settings.format = format;
                task.settings.stripLocation = strip;
                ASSERT_EQ(RunConversion(task, false).status, kTaskSucceeded);
                DecodedImage image;
                ASSERT_EQ(format == OutputFormat::kJpg ? ReadJpeg(task.outputPath, &image)
                                                       : ReadPng(task.outputPath, &image),
                          "");
                const std::vector<uint8_t> exif =
                    format == OutputFormat::kJpg
                        ? (image.app1.empty() ? std::vector<uint8_t>() : image.app1.front())
                        : image.exif;
                ASSERT_FALSE(exif.empty());
                EXPECT_EQ(Contains(exif, LatitudeBytes(little)), !strip);
                EXPECT_EQ(exif.size(), spec.exif.size() + (format == OutputFormat::kJpg ? 6 : 0));
            }
        }
    }
}

TEST(StripLocation, ABlockThatCannotBeCheckedIsLeftOutEntirely) {
    TempDir dir;
    HeicImageSpec spec;
    // A TIFF header whose first directory lies far outside the block.
    spec.exif = {'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0, 'G', 'P', 'S', '?'};
    const std::string input = MakeFixture(dir, "bad.heic", spec);
    ConvertTask task;
    task.inputPath = input;
    task.outputPath = dir.File("out.jpg");
    task.settings.stripLocation = true;
    const ConversionOutcome outcome = RunConversion(task, false);
    ASSERT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
    EXPECT_NE(outcome.diagnostics.find("cannot be checked for a location, left out"),
              std::string::npos);
    DecodedImage image;
    ASSERT_EQ(ReadJpeg(task.outputPath, &image), "");
    EXPECT_TRUE(image.app1.empty());
}

} // namespace
} // namespace velquist::test
