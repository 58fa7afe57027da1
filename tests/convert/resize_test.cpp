#include "convert/convert_task.h"
#include "convert/heif_handles.h"
#include "convert/heif_header.h"
#include "convert/memory_estimate.h"
#include "convert/resize.h"
#include "convert/tiff_directory.h"
#include "convert_test_util.h"
#include "exif_tiff_builder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

TEST(FitLongEdge, ShrinksTheLongEdgeKeepingTheAspect) {
    EXPECT_FALSE(FitLongEdge(4032, 3024, 0)) << "0 keeps the size";
    EXPECT_FALSE(FitLongEdge(1280, 960, 1920)) << "never enlarged";
    EXPECT_FALSE(FitLongEdge(1920, 1080, 1920));
    const auto landscape = FitLongEdge(4032, 3024, 1920);
    ASSERT_TRUE(landscape);
    EXPECT_EQ(landscape->width, 1920);
    EXPECT_EQ(landscape->height, 1440);
    const auto portrait = FitLongEdge(3024, 4032, 1280);
    ASSERT_TRUE(portrait);
    EXPECT_EQ(portrait->width, 960);
    EXPECT_EQ(portrait->height, 1280);
    const auto rounded = FitLongEdge(1000, 333, 500); // 166.5 rounds up
    ASSERT_TRUE(rounded);
    EXPECT_EQ(rounded->height, 167);
    const auto sliver = FitLongEdge(60000, 2, 100);
    ASSERT_TRUE(sliver);
    EXPECT_EQ(sliver->height, 1) << "an edge never vanishes";
}

ConversionOutcome ConvertShrunk(const std::string& input, const std::string& output,
                                OutputFormat format, int maxSize) {
    ConvertTask task;
    task.inputPath = input;
    task.outputPath = output;
    task.settings.format = format;
    task.settings.maxSize = maxSize;
    return RunConversion(task, false);
}

DecodedImage ReadOutput(const std::string& path, OutputFormat format) {
    DecodedImage image;
    const std::string error = format == OutputFormat::kJpg   ? ReadJpeg(path, &image)
                              : format == OutputFormat::kPng ? ReadPng(path, &image)
                                                             : ReadBmp(path, &image);
    EXPECT_EQ(error, "") << path;
    return image;
}

TEST(ConvertShrunk, EveryFormatKeepsAspectColoursAndNeverEnlarges) {
    TempDir dir;
    const std::string input = MakeFixture(dir, "photo.heic", HeicImageSpec()); // 64x48
    for (const OutputFormat format : {OutputFormat::kJpg, OutputFormat::kPng, OutputFormat::kBmp}) {
        SCOPED_TRACE(FormatName(format));
        const std::string output = dir.File(std::string("photo.") + FormatName(format));
        ASSERT_EQ(ConvertShrunk(input, output, format, 32).status, kTaskSucceeded);
        DecodedImage image = ReadOutput(output, format);
        EXPECT_EQ(image.width, 32);
        EXPECT_EQ(image.height, 24);
        EXPECT_LE(QuadrantError(image, format == OutputFormat::kBmp), 12);
        ASSERT_EQ(ConvertShrunk(input, output, format, 100).status, kTaskSucceeded);
        image = ReadOutput(output, format);
        EXPECT_EQ(image.width, 64) << "a smaller photo keeps its size";
        EXPECT_EQ(image.height, 48);
    }
}

TEST(ConvertShrunk, MeasuresTheLongEdgeAsThePhotoIsShown) {
    TempDir dir;
    HeicImageSpec spec; // stored 64x48, shown 48x64
    spec.orientation = heif_orientation_rotate_90_cw;
    const std::string input = MakeFixture(dir, "turned.heic", spec);
    ASSERT_EQ(ConvertShrunk(input, dir.File("turned.png"), OutputFormat::kPng, 32).status,
              kTaskSucceeded);
    const DecodedImage image = ReadOutput(dir.File("turned.png"), OutputFormat::kPng);
    EXPECT_EQ(image.width, 24);
    EXPECT_EQ(image.height, 32);
    EXPECT_LE(ColorDistance(image, 6, 8, QuadrantColor(kBottomLeft)), 12);
}

TEST(ConvertShrunk, DeepAndTransparentPhotosKeepTheirValues) {
    TempDir dir;
    HeicImageSpec deep;
    deep.bitDepth = 10;
    deep.alpha = true;
    const std::string deepInput = MakeFixture(dir, "deep.heic", deep);
    ASSERT_EQ(ConvertShrunk(deepInput, dir.File("deep.png"), OutputFormat::kPng, 32).status,
              kTaskSucceeded);
    const DecodedImage png = ReadOutput(dir.File("deep.png"), OutputFormat::kPng);
    EXPECT_EQ(png.width, 32);
    EXPECT_EQ(png.significantBits, 10);
    EXPECT_EQ(png.At(3, 3, 3), 65472) << "opaque stays opaque";
    EXPECT_NEAR(png.At(24, 18, 0) >> 8, QuadrantColor(kBottomRight).r, 3);

    HeicImageSpec faint; // half transparent: flattened over white after shrinking
    faint.alpha = true;
    faint.alphaValue = 128;
    const std::string faintInput = MakeFixture(dir, "faint.heic", faint);
    ASSERT_EQ(ConvertShrunk(faintInput, dir.File("faint.jpg"), OutputFormat::kJpg, 32).status,
              kTaskSucceeded);
    const DecodedImage jpg = ReadOutput(dir.File("faint.jpg"), OutputFormat::kJpg);
    const auto overWhite = [](int c) { return (c * 128 + 255 * 127 + 127) / 255; };
    const Rgb topLeft = QuadrantColor(kTopLeft);
    EXPECT_LE(ColorDistance(jpg, 8, 6,
                            {overWhite(topLeft.r), overWhite(topLeft.g), overWhite(topLeft.b)}),
              12);
}

// The Exif directory of TIFF data, read with the converter's own reader.
std::optional<tiff::Directory> ExifDirectory(const std::vector<uint8_t>& tiff, uint32_t* next) {
    const tiff::TiffView view(tiff);
    uint32_t offset = 0;
    view.Read32(4, &offset);
    const auto ifd0 = tiff::ReadDirectory(view, offset);
    const tiff::Entry* pointer = ifd0 ? tiff::FindEntry(*ifd0, tiff::kExifIfdTag) : nullptr;
    if (pointer == nullptr) {
        return std::nullopt;
    }
    *next = ifd0->next;
    return tiff::ReadDirectory(view, pointer->value);
}

TEST(ConvertShrunk, ExifTellsTheNewSizeAndLosesTheThumbnail) {
    TempDir dir;
    HeicImageSpec spec;
    spec.exif = MakeExifWithLocation(true);
    const std::string input = MakeFixture(dir, "exif.heic", spec);
    ASSERT_EQ(ConvertShrunk(input, dir.File("exif.jpg"), OutputFormat::kJpg, 40).status,
              kTaskSucceeded);
    const DecodedImage image = ReadOutput(dir.File("exif.jpg"), OutputFormat::kJpg);
    ASSERT_EQ(image.app1.size(), 1u);
    const std::vector<uint8_t> tiff(image.app1[0].begin() + 6, image.app1[0].end());
    uint32_t next = 1;
    const auto exif = ExifDirectory(tiff, &next);
    ASSERT_TRUE(exif);
    EXPECT_EQ(next, 0u) << "no IFD1, no thumbnail";
    const tiff::Entry* x = tiff::FindEntry(*exif, 0xA002);
    const tiff::Entry* y = tiff::FindEntry(*exif, 0xA003);
    ASSERT_TRUE(x && y);
    EXPECT_EQ(x->value, 40u);
    EXPECT_EQ(y->value, 30u);
}

TEST(ConvertShrunk, MemoryEstimateCountsTheChannelCopyOfRgbOutputsOnly) {
    HeifHeader header;
    header.parsed = true;
    header.width = 4032;
    header.height = 3024;
    header.bitDepth = 8;
    ConversionSettings settings;
    const std::uint64_t jpegFull = EstimateJobMemory(header, settings);
    settings.maxSize = 1920;
    EXPECT_EQ(EstimateJobMemory(header, settings), jpegFull) << "4:2:0 planes need no copy";
    settings.format = OutputFormat::kPng;
    const std::uint64_t pngShrunk = EstimateJobMemory(header, settings);
    settings.maxSize = 0;
    EXPECT_EQ(pngShrunk - EstimateJobMemory(header, settings), 4032u * 3024u * 3u);
}

HeifImagePtr MakeImage(int width, int height, heif_colorspace space, heif_chroma chroma) {
    heif_image* raw = nullptr;
    EXPECT_EQ(heif_image_create(width, height, space, chroma, &raw).code, heif_error_Ok);
    return HeifImagePtr(raw);
}

TEST(ResizeImage, TransparentPixelsDoNotDarkenTheVisibleEdge) {
    // Left half opaque red; right half fully transparent with black hidden under it.
    HeifImagePtr image = MakeImage(64, 8, heif_colorspace_RGB, heif_chroma_interleaved_RGBA);
    ASSERT_EQ(heif_image_add_plane(image.get(), heif_channel_interleaved, 64, 8, 8).code,
              heif_error_Ok);
    int stride = 0;
    uint8_t* data = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint8_t red[4] = {255, 0, 0, 255};
            const uint8_t hidden[4] = {0, 0, 0, 0};
            std::memcpy(data + y * stride + 4 * x, x < 32 ? red : hidden, 4);
        }
    }
    std::string error;
    const HeifImagePtr small = ResizeImage(image.get(), {16, 2}, &error);
    ASSERT_TRUE(small) << error;
    const uint8_t* out = heif_image_get_plane_readonly(small.get(), heif_channel_interleaved,
                                                       &stride);
    int partial = 0;
    for (int x = 0; x < 16; ++x) {
        const uint8_t* pixel = out + 4 * x;
        if (pixel[3] == 0 || pixel[3] == 255) {
            continue;
        }
        ++partial;
        EXPECT_GE(pixel[0], 245) << "x " << x << ": only alpha falls at the edge, not red";
        EXPECT_LE(std::max(pixel[1], pixel[2]), 5) << "x " << x;
    }
    EXPECT_GE(partial, 1);
    EXPECT_EQ(out[4 * 15 + 3], 0);
}

TEST(ResizeImage, DeepPlanesStayInRangeAndChromaKeepsItsSubsampling) {
    HeifImagePtr image = MakeImage(65, 33, heif_colorspace_YCbCr, heif_chroma_420);
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (const heif_channel channel : channels) {
        const int w = channel == heif_channel_Y ? 65 : 33;
        const int h = channel == heif_channel_Y ? 33 : 17;
        ASSERT_EQ(heif_image_add_plane(image.get(), channel, w, h, 10).code, heif_error_Ok);
        int stride = 0;
        uint8_t* data = heif_image_get_plane(image.get(), channel, &stride);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint16_t value = x < w / 3 ? 0 : 1023; // a hard edge rings
                std::memcpy(data + y * stride + 2 * x, &value, 2);
            }
        }
    }
    std::string error;
    const HeifImagePtr small = ResizeImage(image.get(), {17, 9}, &error);
    ASSERT_TRUE(small) << error;
    EXPECT_EQ(heif_image_get_width(small.get(), heif_channel_Cb), 9);
    EXPECT_EQ(heif_image_get_height(small.get(), heif_channel_Cr), 5);
    int stride = 0;
    const uint8_t* y = heif_image_get_plane_readonly(small.get(), heif_channel_Y, &stride);
    uint16_t largest = 0;
    for (int row = 0; row < 9; ++row) {
        for (int x = 0; x < 17; ++x) {
            uint16_t value = 0;
            std::memcpy(&value, y + row * stride + 2 * x, 2);
            largest = std::max(largest, value);
        }
    }
    EXPECT_EQ(largest, 1023);
}

} // namespace
} // namespace velquist::test
