#include "support/testdata.h"
#include "thumbs/thumbnail_extract.h"
#include "thumbs/thumbnail_scale.h"
#include "thumbs_test_util.h"

#include <gtest/gtest.h>

namespace velquist::test {
namespace {

TEST(FitWithin, KeepsAspectAndNeverEnlarges) {
    EXPECT_EQ(FitWithin(4032, 3024, 96).width, 96);
    EXPECT_EQ(FitWithin(4032, 3024, 96).height, 72);
    EXPECT_EQ(FitWithin(3024, 4032, 96).width, 72);
    EXPECT_EQ(FitWithin(50, 30, 96).width, 50);
    EXPECT_EQ(FitWithin(50, 30, 96).height, 30);
    // A panorama keeps at least one row.
    EXPECT_EQ(FitWithin(20000, 10, 96).height, 1);
    EXPECT_EQ(FitWithin(0, 10, 96).width, 0);
}

TEST(DownscaleToRgba, AveragesAreasAndWeighsColourByAlpha) {
    // 4x2 RGBA: left half opaque red, right half transparent black.
    std::vector<uint8_t> src;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            for (uint8_t v :
                 x < 2 ? std::vector<uint8_t>{255, 0, 0, 255} : std::vector<uint8_t>{0, 0, 0, 0}) {
                src.push_back(v);
            }
        }
    }
    const std::vector<uint8_t> one = DownscaleToRgba(src.data(), 16, 4, {4, 2}, {1, 1});
    EXPECT_EQ(one, (std::vector<uint8_t>{255, 0, 0, 128}));
    const std::vector<uint8_t> two = DownscaleToRgba(src.data(), 16, 4, {4, 2}, {2, 1});
    EXPECT_EQ(two, (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 0, 0}));
    // RGB input with a padded stride comes out opaque.
    const std::vector<uint8_t> rgb = {10, 20, 30, 50, 60, 70, 99, 99};
    EXPECT_EQ(DownscaleToRgba(rgb.data(), 8, 3, {2, 1}, {1, 1}),
              (std::vector<uint8_t>{30, 40, 50, 255}));
}

ThumbnailResult FromFixture(const HeicImageSpec& spec, ThumbnailLimits limits = {}) {
    TempDir dir;
    const std::string path = dir.File("photo.heic");
    EXPECT_EQ(WriteHeic(path, spec), "");
    return ExtractThumbnail(path, limits);
}

TEST(ExtractThumbnail, SmallDecodeOfThePrimaryImage) {
    HeicImageSpec spec;
    spec.width = 320;
    spec.height = 240;
    const ThumbnailResult r = FromFixture(spec);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.thumbnail.width, 96);
    EXPECT_EQ(r.thumbnail.height, 72);
    EXPECT_EQ(r.thumbnail.rgba.size(), 96u * 72 * 4);
    EXPECT_LE(QuadrantError(r.thumbnail), 12);
    EXPECT_EQ(AlphaAt(r.thumbnail, 10, 10), 255);
    EXPECT_EQ(r.thumbnail.imageCount, 1);
}

TEST(ExtractThumbnail, RotationAlphaAndHighBitDepth) {
    HeicImageSpec rotated;
    rotated.width = 128;
    rotated.height = 96;
    rotated.orientation = heif_orientation_rotate_90_cw;
    const ThumbnailResult r = FromFixture(rotated);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.thumbnail.width, 72);
    EXPECT_EQ(r.thumbnail.height, 96);
    EXPECT_LE(Distance(r.thumbnail, 18, 24, QuadrantColor(kBottomLeft)), 12);

    HeicImageSpec alpha;
    alpha.alpha = true;
    alpha.alphaValue = 100;
    const ThumbnailResult a = FromFixture(alpha);
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_NEAR(AlphaAt(a.thumbnail, 16, 12), 100, 3);

    HeicImageSpec deep;
    deep.bitDepth = 10;
    const ThumbnailResult d = FromFixture(deep);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_LE(QuadrantError(d.thumbnail), 12);
}

TEST(ExtractThumbnail, PrefersTheStoredThumbnail) {
    TempDir dir;
    const std::string path = dir.File("phone.heic");
    const Rgb green{40, 200, 60};
    ASSERT_EQ(WriteHeicWithThumbnail(path, 640, 480, 160, 120, green), "");
    const ThumbnailResult r = ExtractThumbnail(path, {});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.thumbnail.width, 96);
    EXPECT_EQ(r.thumbnail.height, 72);
    EXPECT_LE(Distance(r.thumbnail, 5, 5, green), 12);
    EXPECT_LE(Distance(r.thumbnail, 90, 66, green), 12);
    EXPECT_EQ(r.thumbnail.imageCount, 1); // a thumbnail is no image of its own
}

TEST(ExtractThumbnail, CountsEveryTopLevelImage) {
    TempDir dir;
    const std::string path = dir.File("burst.heic");
    ASSERT_EQ(WriteHeic(path, std::vector<HeicImageSpec>(3)), "");
    const ThumbnailResult r = ExtractThumbnail(path, {});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.thumbnail.imageCount, 3);
}

TEST(ExtractThumbnail, RefusesWhatWouldTakeTooMuchMemory) {
    HeicImageSpec spec; // 64 x 48
    ThumbnailLimits limits;
    limits.maxDecodePixels = 64 * 48 - 1;
    const ThumbnailResult r = FromFixture(spec, limits);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("too large"), std::string::npos) << r.error;
}

TEST(ExtractThumbnail, RealPhotosAndBrokenFiles) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    for (const char* name : {"mde_IMG_1034.heic", "mde_Issue_487.heic", "nokia_MIAF007.heic",
                             "pillowheif_RGBA_10__29x100.heif", "nokia_C004.heic"}) {
        const ThumbnailResult r = ExtractThumbnail(HeicTestdataFile(name), {});
        ASSERT_TRUE(r.ok) << name << ": " << r.error;
        EXPECT_LE(std::max(r.thumbnail.width, r.thumbnail.height), 96) << name;
    }
    // Upright: the rotated phone photo is taller than wide.
    const ThumbnailResult portrait = ExtractThumbnail(HeicTestdataFile("mde_Issue_487.heic"), {});
    EXPECT_LT(portrait.thumbnail.width, portrait.thumbnail.height);
    EXPECT_EQ(ExtractThumbnail(HeicTestdataFile("nokia_C004.heic"), {}).thumbnail.imageCount, 10);
    for (const char* name :
         {"photoprism_wrong.heic", "pillowheif_corrupted.heic", "pillowheif_empty.heic",
          "pillowheif_truncated.heic", "libheif_vvc32.heif", "no such file.heic"}) {
        const ThumbnailResult r = ExtractThumbnail(HeicTestdataFile(name), {});
        EXPECT_FALSE(r.ok) << name;
        EXPECT_FALSE(r.error.empty()) << name;
    }
}

} // namespace
} // namespace velquist::test
