#include "convert/flatten_alpha.h"
#include "convert_test_util.h"

#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

// The reference every output is held to: the composite in real numbers, rounded once.
int Reference(double colour, double alpha, double max, bool premultiplied) {
    const double a = alpha / max;
    const double cover = premultiplied ? colour / max : a * colour / max;
    return static_cast<int>(std::lround((cover + (1 - a)) * 255));
}

// One row of pixels (r, g, b, a) at the given depth, laid out as libheif decodes it.
std::vector<uint8_t> RowOf(const std::vector<std::array<int, 4>>& pixels, int bits) {
    const size_t bytes = bits > 8 ? 2 : 1;
    std::vector<uint8_t> row(pixels.size() * 4 * bytes);
    for (size_t i = 0; i < pixels.size() * 4; ++i) {
        const auto value = static_cast<uint16_t>(pixels[i / 4][i % 4]);
        if (bytes == 1) {
            row[i] = static_cast<uint8_t>(value);
        } else {
            std::memcpy(&row[2 * i], &value, 2);
        }
    }
    return row;
}

void ExpectMatchesReference(int bits, bool premultiplied, int step) {
    const int max = (1 << bits) - 1;
    for (int alpha = 0; alpha <= max; alpha += step) {
        std::vector<std::array<int, 4>> pixels;
        for (int colour = 0; colour <= (premultiplied ? alpha : max); colour += step) {
            const int other = (premultiplied ? alpha : max) - colour;
            pixels.push_back({colour, other, colour / 2, alpha});
        }
        const std::vector<uint8_t> data = RowOf(pixels, bits);
        const int width = static_cast<int>(pixels.size());
        RgbaRows rows{data.data(), static_cast<int>(data.size()), width, 1, bits};
        rows.premultiplied = premultiplied;
        std::vector<uint8_t> out(pixels.size() * 4);
        FlattenRowOverWhite(rows, 0, out.data(), 4);
        for (size_t x = 0; x < pixels.size(); ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(out[4 * x + c], Reference(pixels[x][c], alpha, max, premultiplied))
                    << "bits " << bits << " alpha " << alpha << " colour " << pixels[x][c];
            }
            ASSERT_EQ(out[4 * x + 3], 255);
        }
    }
}

TEST(FlattenAlpha, RoundsOnceLikeTheRealComposite) {
    ExpectMatchesReference(8, false, 1);
    ExpectMatchesReference(10, false, 3);
    ExpectMatchesReference(12, false, 13);
    ExpectMatchesReference(8, true, 1);
    ExpectMatchesReference(10, true, 7);
}

TEST(FlattenAlpha, SamplesBeyondTheDepthDoNotWrap) {
    const std::vector<uint8_t> data = RowOf({{4095, 0, 2000, 4095}}, 10);
    RgbaRows rows{data.data(), static_cast<int>(data.size()), 1, 1, 10, false};
    uint8_t out[3] = {};
    FlattenRowOverWhite(rows, 0, out, 3);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 255);
}

struct AlphaCase {
    const char* format;
    int bitDepth;
};

DecodedImage ConvertWithAlpha(const AlphaCase& c, int alphaValue) {
    TempDir dir;
    HeicImageSpec spec;
    spec.alpha = true;
    spec.alphaValue = alphaValue;
    spec.bitDepth = c.bitDepth;
    const std::string in = MakeFixture(dir, "alpha.heic", spec);
    const std::string out = dir.File(std::string("alpha.") + c.format);
    const ConversionOutcome outcome = Convert(in, out, c.format);
    EXPECT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
    DecodedImage image;
    EXPECT_EQ(std::string(c.format) == "bmp" ? ReadBmp(out, &image) : ReadJpeg(out, &image), "");
    return image;
}

Rgb OverWhite(const Rgb& colour, int alpha) {
    const auto mix = [alpha](int c) { return (c * alpha + 255 * (255 - alpha) + 127) / 255; };
    return {mix(colour.r), mix(colour.g), mix(colour.b)};
}

// The fixture's colours sit under the transparency: none of them may show through.
TEST(FlattenAlpha, JpegAndBmpShowThePhotoOverWhite) {
    for (const AlphaCase c :
         {AlphaCase{"jpg", 8}, AlphaCase{"jpg", 10}, AlphaCase{"bmp", 8}, AlphaCase{"bmp", 10}}) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.bitDepth) + " bits");
        const bool bgr = std::string(c.format) == "bmp";
        const DecodedImage clear = ConvertWithAlpha(c, 0);
        ASSERT_EQ(clear.width, 64);
        for (Quadrant q : {kTopLeft, kTopRight, kBottomLeft, kBottomRight}) {
            const int x = q == kTopLeft || q == kBottomLeft ? 16 : 48;
            const int y = q == kTopLeft || q == kTopRight ? 12 : 36;
            EXPECT_LE(ColorDistance(clear, x, y, {255, 255, 255}, bgr), 2) << "quadrant " << q;
        }
        const DecodedImage half = ConvertWithAlpha(c, 128);
        EXPECT_LE(ColorDistance(half, 16, 12, OverWhite(QuadrantColor(kTopLeft), 128), bgr), 8);
        EXPECT_LE(ColorDistance(half, 48, 36, OverWhite(QuadrantColor(kBottomRight), 128), bgr), 8);
        if (bgr) {
            EXPECT_EQ(half.At(16, 12, 3), 255) << "alpha byte opaque once composited";
        }
    }
}

} // namespace
} // namespace velquist::test
