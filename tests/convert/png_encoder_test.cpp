#include "convert/png_encoder.h"
#include "convert_test_util.h"

#include <gtest/gtest.h>
#include <png.h>

namespace velquist::test {
namespace {

DecodedImage ConvertToPng(const HeicImageSpec& spec, bool keepExif = true) {
    TempDir dir;
    const std::string in = MakeFixture(dir, "in.heic", spec);
    const std::string out = dir.File("out.png");
    const ConversionOutcome outcome = Convert(in, out, "png", keepExif);
    EXPECT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
    DecodedImage image;
    EXPECT_EQ(ReadPng(out, &image), "");
    return image;
}

TEST(PngEncoder, ChromaFollowsDepthAndAlpha) {
    const PngEncoder encoder;
    EXPECT_EQ(encoder.PreferredChroma(false, 8), heif_chroma_interleaved_RGB);
    EXPECT_EQ(encoder.PreferredChroma(true, 8), heif_chroma_interleaved_RGBA);
    EXPECT_EQ(encoder.PreferredChroma(false, 10), heif_chroma_interleaved_RRGGBB_BE);
    EXPECT_EQ(encoder.PreferredChroma(true, 12), heif_chroma_interleaved_RRGGBBAA_BE);
    EXPECT_EQ(encoder.PreferredColorspace(true), heif_colorspace_RGB);
}

TEST(PngEncoder, EightBitRgbAndRgba) {
    const DecodedImage rgb = ConvertToPng(HeicImageSpec());
    EXPECT_EQ(rgb.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(rgb.bitDepth, 8);
    EXPECT_LE(QuadrantError(rgb), 8);

    HeicImageSpec spec;
    spec.alpha = true;
    spec.alphaValue = 200;
    const DecodedImage rgba = ConvertToPng(spec);
    EXPECT_EQ(rgba.colorType, PNG_COLOR_TYPE_RGBA);
    EXPECT_EQ(rgba.bitDepth, 8);
    EXPECT_NEAR(rgba.At(3, 3, 3), 200, 3);
    EXPECT_LE(QuadrantError(rgba), 8);
}

TEST(PngEncoder, TenBitSourceFillsSixteenBitsWithSignificantBits) {
    HeicImageSpec spec;
    spec.bitDepth = 10;
    spec.alpha = true;
    const DecodedImage image = ConvertToPng(spec);
    EXPECT_EQ(image.bitDepth, 16);
    EXPECT_EQ(image.colorType, PNG_COLOR_TYPE_RGBA);
    EXPECT_EQ(image.significantBits, 10);
    EXPECT_EQ(image.At(3, 3, 3), 65472) << "alpha 1023 shifted up";
    const int white = image.At(60, 44, 0) >> 8;
    EXPECT_NEAR(white, QuadrantColor(kBottomRight).r, 3);
}

TEST(PngEncoder, IccProfileBecomesIccpNamedUnknown) {
    EXPECT_TRUE(ConvertToPng(HeicImageSpec()).icc.empty());
    HeicImageSpec spec;
    spec.icc = MakeIccProfile(600);
    const DecodedImage image = ConvertToPng(spec);
    EXPECT_EQ(image.iccName, "unknown");
    EXPECT_EQ(image.icc, spec.icc);
}

TEST(PngEncoder, ExifTravelsOnlyWhenKept) {
    HeicImageSpec spec;
    spec.exif = MakeTiffExif(false, 8);
    const DecodedImage kept = ConvertToPng(spec, true);
    EXPECT_EQ(kept.exif, MakeTiffExif(false, 1)) << "TIFF data, upright";
    EXPECT_TRUE(ConvertToPng(spec, false).exif.empty());
}

TEST(PngEncoder, RotatedImageIsWrittenUpright) {
    HeicImageSpec spec;
    spec.orientation = heif_orientation_rotate_90_cw;
    const DecodedImage image = ConvertToPng(spec);
    EXPECT_EQ(image.width, 48);
    EXPECT_EQ(image.height, 64);
    EXPECT_LE(ColorDistance(image, 12, 16, QuadrantColor(kBottomLeft)), 12);
}

} // namespace
} // namespace velquist::test
