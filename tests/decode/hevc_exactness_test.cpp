// libavcodec and libde265 must give libheif the same samples: a conversion through either
// decoder has to produce the same output file.
#include "decode/hevc_decoder.h"
#include "decode/hevc_decoder_testing.h"
#include "decode_compare.h"
#include "real_files.h"
#include "support/heic_fixture.h"
#include "support/temp_dir.h"
#include "ycbcr_fixture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist::test {
namespace {

void RequireLibavcodec() {
    RegisterHevcDecoder();
    ASSERT_STREQ(HevcDecoderName(), "libavcodec")
        << "the libavcodec decoder is not registered (is " << kHevcDecoderVariable << " set?)";
}

// Compares every top-level image; returns how many were decoded by libavcodec.
long ExpectSameSamples(const std::string& path) {
    const long before = AvcodecDecodeCount();
    const int count = TopLevelImageCount(path);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(CompareDecoders(path, i), "");
    }
    return AvcodecDecodeCount() - before;
}

TEST(HevcExactness, EveryRealFileDecodesToTheSameSamples) {
    VELQUIST_REQUIRE_REAL_FILES();
    RequireLibavcodec();
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(RealFilesDir())) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".heic" || ext == ".heif") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    long decodedByLibavcodec = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        decodedByLibavcodec += ExpectSameSamples(file);
    }
    // Broken files fail with both decoders; the photos must really have gone through it.
    EXPECT_GT(decodedByLibavcodec, 0);
}

TEST(HevcExactness, GridPhotoTilesAllComeFromLibavcodec) {
    VELQUIST_REQUIRE_REAL_FILES();
    RequireLibavcodec();
    const long fallbacks = HevcFallbackCount();
    const long before = AvcodecDecodeCount();
    DecodeResult result = DecodeWith(HevcDecoder::kLibavcodec, RealFile("mde_IMG_1034.heic"), 0,
                                     heif_colorspace_undefined, heif_chroma_undefined);
    ASSERT_TRUE(result.image) << result.error;
    // 4032x3024 in 512x512 tiles: 8 x 6.
    EXPECT_EQ(AvcodecDecodeCount() - before, 48);
    EXPECT_EQ(HevcFallbackCount(), fallbacks);
}

struct GeneratedCase {
    const char* name;
    YcbcrSpec spec;
};

class GeneratedYcbcr : public testing::TestWithParam<GeneratedCase> {};

TEST_P(GeneratedYcbcr, DecodesToTheSameSamples) {
    RequireLibavcodec();
    TempDir dir;
    const std::string path = dir.File("fixture.heic");
    const std::string failure = WriteYcbcrHeic(path, GetParam().spec);
    if (!failure.empty()) {
        GTEST_SKIP() << "the encoder does not make this kind of file: " << failure;
    }
    EXPECT_GT(ExpectSameSamples(path), 0);
}

// Odd sizes leave partial coding blocks and a conformance window at the right and bottom.
INSTANTIATE_TEST_SUITE_P(
    Layouts, GeneratedYcbcr,
    testing::Values(GeneratedCase{"c420_8bit", {64, 48, heif_chroma_420, 8, false}},
                    GeneratedCase{"c420_odd", {37, 23, heif_chroma_420, 8, false}},
                    GeneratedCase{"c420_10bit", {130, 66, heif_chroma_420, 10, false}},
                    GeneratedCase{"c420_12bit", {65, 33, heif_chroma_420, 12, false}},
                    GeneratedCase{"c422_8bit", {71, 45, heif_chroma_422, 8, false}},
                    GeneratedCase{"c422_10bit", {64, 64, heif_chroma_422, 10, false}},
                    GeneratedCase{"c444_8bit", {67, 41, heif_chroma_444, 8, false}},
                    GeneratedCase{"c444_12bit", {48, 80, heif_chroma_444, 12, false}},
                    GeneratedCase{"mono_8bit", {51, 29, heif_chroma_monochrome, 8, false}},
                    GeneratedCase{"mono_10bit", {64, 40, heif_chroma_monochrome, 10, false}},
                    GeneratedCase{"alpha_420", {45, 31, heif_chroma_420, 8, true}},
                    GeneratedCase{"alpha_444_10bit", {40, 40, heif_chroma_444, 10, true}}),
    [](const testing::TestParamInfo<GeneratedCase>& info) { return info.param.name; });

struct RgbCase {
    const char* name;
    HeicImageSpec spec;
};

class GeneratedRgb : public testing::TestWithParam<RgbCase> {};

// The project's usual fixtures: RGB input, which the encoder stores as 4:4:4 with colour
// information of its own.
TEST_P(GeneratedRgb, DecodesToTheSameSamples) {
    RequireLibavcodec();
    TempDir dir;
    const std::string path = dir.File("fixture.heic");
    ASSERT_EQ(WriteHeic(path, GetParam().spec), "");
    EXPECT_GT(ExpectSameSamples(path), 0);
}

HeicImageSpec Rgb(int width, int height, int depth, bool alpha) {
    HeicImageSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitDepth = depth;
    spec.alpha = alpha;
    spec.alphaValue = 128;
    return spec;
}

INSTANTIATE_TEST_SUITE_P(Depths, GeneratedRgb,
                         testing::Values(RgbCase{"rgb8", Rgb(64, 48, 8, false)},
                                         RgbCase{"rgb8_alpha_odd", Rgb(33, 17, 8, true)},
                                         RgbCase{"rgb10_alpha", Rgb(50, 30, 10, true)},
                                         RgbCase{"rgb12", Rgb(31, 45, 12, false)}),
                         [](const testing::TestParamInfo<RgbCase>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace velquist::test
