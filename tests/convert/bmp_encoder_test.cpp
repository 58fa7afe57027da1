#include "convert/bmp_encoder.h"
#include "convert_test_util.h"

#include <gtest/gtest.h>

namespace velquist::test {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

TEST(BmpEncoder, HeaderFieldsOfSmallImage) {
    TempDir dir;
    HeicImageSpec spec;
    spec.width = 3;
    spec.height = 2;
    const std::string in = MakeFixture(dir, "small.heic", spec);
    const std::string out = dir.File("small.bmp");
    ASSERT_EQ(Convert(in, out, "bmp").status, kTaskSucceeded);
    const std::vector<uint8_t> b = ReadFileBytes(out);
    ASSERT_EQ(b.size(), 78u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Le32(b, 2), 78u);
    EXPECT_EQ(Le32(b, 10), 54u);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(Le32(b, 18), 3u);
    EXPECT_EQ(Le32(b, 22), 2u);
    EXPECT_EQ(b[26] | b[27] << 8, 1);
    EXPECT_EQ(b[28] | b[29] << 8, 32);
    EXPECT_EQ(Le32(b, 30), 0u);
    EXPECT_EQ(Le32(b, 34), 24u);
}

TEST(BmpEncoder, PixelsAreBgraBottomUpWithoutRowPadding) {
    TempDir dir;
    HeicImageSpec spec;
    spec.width = 37; // libheif pads this row, the file must not
    spec.height = 30;
    const std::string in = MakeFixture(dir, "odd.heic", spec);
    const std::string out = dir.File("odd.bmp");
    ASSERT_EQ(Convert(in, out, "bmp").status, kTaskSucceeded);
    EXPECT_EQ(ReadFileBytes(out).size(), 54u + 37 * 30 * 4);
    DecodedImage image;
    ASSERT_EQ(ReadBmp(out, &image), "");
    ASSERT_EQ(image.width, 37);
    ASSERT_EQ(image.height, 30);
    EXPECT_LE(QuadrantError(image, true), 8);
    EXPECT_EQ(image.At(5, 5, 3), 255);
}

TEST(BmpEncoder, DeepSourceGivesTheSameLayout) {
    TempDir dir;
    HeicImageSpec spec;
    spec.bitDepth = 10;
    const std::string in = MakeFixture(dir, "deep.heic", spec);
    const std::string out = dir.File("deep.bmp");
    ASSERT_EQ(Convert(in, out, "bmp").status, kTaskSucceeded);
    DecodedImage image;
    ASSERT_EQ(ReadBmp(out, &image), "");
    EXPECT_EQ(ReadFileBytes(out).size(), 54u + 64 * 48 * 4);
    EXPECT_LE(QuadrantError(image, true), 8);
}

TEST(BmpEncoder, AlphaBytesAreOpaqueOnceComposited) {
    TempDir dir;
    HeicImageSpec spec;
    spec.alpha = true;
    spec.alphaValue = 128;
    const std::string in = MakeFixture(dir, "alpha.heic", spec);
    const std::string out = dir.File("alpha.bmp");
    ASSERT_EQ(Convert(in, out, "bmp").status, kTaskSucceeded);
    DecodedImage image;
    ASSERT_EQ(ReadBmp(out, &image), "");
    EXPECT_EQ(image.At(10, 10, 3), 255);
}

} // namespace
} // namespace velquist::test
