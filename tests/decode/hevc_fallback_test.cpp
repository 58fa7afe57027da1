// Data libavcodec refuses goes to libde265, with one diagnostic line, and the picture is
// the same as libde265 alone makes.
#include "decode/hevc_decoder.h"
#include "decode/hevc_decoder_testing.h"
#include "decode_compare.h"
#include "real_files.h"
#include "support/output_capture.h"
#include "support/temp_dir.h"
#include "ycbcr_fixture.h"

#include <gtest/gtest.h>
#include <string>

namespace velquist::test {
namespace {

const char kNotice[] = "libavcodec refused HEVC data; decoded with libde265 instead\n";

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) {
        ++count;
    }
    return count;
}

class HevcFallback : public testing::Test {
  protected:
    void SetUp() override {
        RegisterHevcDecoder();
        ASSERT_STREQ(HevcDecoderName(), "libavcodec");
        RearmHevcFallbackNotice();
    }
    void TearDown() override { FailNextAvcodecDecodes(0); }

    // Decodes with libavcodec while the next `failures` decodes are refused; returns the
    // diagnostic output and checks the picture against libde265's.
    std::string DecodeWithRefusals(const std::string& path, int failures, heif_chroma chroma) {
        const DecodeResult reference =
            DecodeWith(HevcDecoder::kLibde265, path, 0, heif_colorspace_undefined, chroma);
        EXPECT_TRUE(reference.image) << reference.error;
        FailNextAvcodecDecodes(failures);
        const long before = HevcFallbackCount();
        velquist::test::CaptureStderr();
        const DecodeResult result =
            DecodeWith(HevcDecoder::kLibavcodec, path, 0, heif_colorspace_undefined, chroma);
        const std::string diagnostics = velquist::test::TakeCapturedStderr();
        EXPECT_EQ(HevcFallbackCount() - before, failures);
        EXPECT_TRUE(result.image) << result.error;
        if (result.image && reference.image) {
            EXPECT_EQ(CompareImages(result.image.get(), reference.image.get()), "");
        }
        return diagnostics;
    }
};

TEST_F(HevcFallback, RefusedTilesOfAGridComeFromLibde265WithOneLine) {
    VELQUIST_REQUIRE_REAL_FILES();
    const std::string photo = RealFile("mde_IMG_1034.heic");
    EXPECT_EQ(Occurrences(DecodeWithRefusals(photo, 3, heif_chroma_undefined), kNotice), 1);
}

TEST_F(HevcFallback, RefusedAlphaOrColourPlaneComesFromLibde265) {
    TempDir dir;
    const std::string path = dir.File("alpha.heic");
    ASSERT_EQ(WriteYcbcrHeic(path, {61, 35, heif_chroma_420, 10, true}), "");
    // First the colour image, then both it and its alpha image.
    EXPECT_EQ(Occurrences(DecodeWithRefusals(path, 1, heif_chroma_undefined), kNotice), 1);
    RearmHevcFallbackNotice();
    EXPECT_EQ(Occurrences(DecodeWithRefusals(path, 2, heif_chroma_undefined), kNotice), 1);
}

TEST_F(HevcFallback, LineComesOncePerArming) {
    TempDir dir;
    const std::string path = dir.File("plain.heic");
    ASSERT_EQ(WriteYcbcrHeic(path, {40, 24, heif_chroma_420, 8, false}), "");
    EXPECT_EQ(Occurrences(DecodeWithRefusals(path, 1, heif_chroma_undefined), kNotice), 1);
    // Same file again without re-arming: a second fallback stays silent.
    EXPECT_EQ(DecodeWithRefusals(path, 1, heif_chroma_undefined), "");
    RearmHevcFallbackNotice();
    EXPECT_EQ(Occurrences(DecodeWithRefusals(path, 1, heif_chroma_undefined), kNotice), 1);
}

TEST_F(HevcFallback, PictureWithoutRefusalsPrintsNothing) {
    TempDir dir;
    const std::string path = dir.File("plain.heic");
    ASSERT_EQ(WriteYcbcrHeic(path, {40, 24, heif_chroma_444, 8, false}), "");
    EXPECT_EQ(DecodeWithRefusals(path, 0, heif_chroma_undefined), "");
}

} // namespace
} // namespace velquist::test
