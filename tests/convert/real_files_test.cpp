#include "convert_test_util.h"
#include "support/testdata.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

struct RealFile {
    const char* name;
    int width; // primary image as displayed; 0 for files that must fail
    int height;
    const char* diagnostic;
    const char* onlyFormat = nullptr; // 12 MP photos take ~0.6 s to decode: one format each
};

const RealFile kFiles[] = {
    {"libheif_rainbow-451x461.heic", 451, 461, nullptr},
    // Opened by libheif, whose 1.15 has no VVC decoder.
    {"libheif_vvc32.heif", 0, 0, "Could not decode HEIF image: 0: Unsupported feature"},
    {"mde_IMG_1034.heic", 4032, 3024, nullptr, "png"},
    {"mde_Issue_487.heic", 3024, 4032, nullptr, "jpg"},
    {"nokia_C004.heic", 1280, 720, nullptr},
    {"nokia_C006.heic", 1280, 720, nullptr},
    {"nokia_C013.heic", 300, 300, nullptr},
    {"nokia_C034.heic", 1280, 720, nullptr},
    {"nokia_C042.heic", 1280, 720, nullptr},
    {"nokia_MIAF002.heic", 2048, 2048, nullptr},
    {"nokia_MIAF007.heic", 360, 640, nullptr},
    {"photoprism_wrong.heic", 0, 0, "Could not read HEIF file: Invalid input: No 'ftyp' box\n"},
    {"pillowheif_L_8__29x100.heif", 29, 100, nullptr},
    {"pillowheif_RGBA_10__29x100.heif", 29, 100, nullptr},
    {"pillowheif_corrupted.heic", 0, 0, "Could not read HEIF file: Invalid input: No 'meta' box\n"},
    {"pillowheif_empty.heic", 0, 0, "Could not read HEIF file: Invalid input: No 'ftyp' box\n"},
    {"pillowheif_truncated.heic", 0, 0,
     "Could not read HEIF file: Invalid input: Unexpected end of file"},
};

std::string ReadBack(const std::string& path, const std::string& format, DecodedImage* image) {
    if (format == "jpg") {
        return ReadJpeg(path, image);
    }
    if (format == "png") {
        return ReadPng(path, image);
    }
    return ReadBmp(path, image);
}

class RealFiles : public testing::TestWithParam<const char*> {};

TEST_P(RealFiles, EveryFileConvertsOrFailsCleanly) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    const std::string format = GetParam();
    TempDir dir;
    int written = 0;
    for (const RealFile& file : kFiles) {
        if (file.onlyFormat != nullptr && format != file.onlyFormat) {
            continue;
        }
        SCOPED_TRACE(file.name);
        const std::string out = dir.File(std::string(file.name) + "." + format);
        const ConversionOutcome outcome = Convert(HeicTestdataFile(file.name), out, format);
        if (file.width == 0) {
            EXPECT_EQ(outcome.status, kTaskFailed);
            EXPECT_EQ(outcome.diagnostics.rfind(file.diagnostic, 0), 0u) << outcome.diagnostics;
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        ASSERT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
        ++written;
        DecodedImage image;
        ASSERT_EQ(ReadBack(out, format, &image), "");
        EXPECT_EQ(image.width, file.width);
        EXPECT_EQ(image.height, file.height);
        if (format == "jpg" && std::string(file.name) == "mde_Issue_487.heic") {
            ASSERT_EQ(image.app1.size(), 1u);
            EXPECT_EQ(ExifOrientation(image.app1[0], 6), 1) << "pixels are already upright";
        }
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), written)
        << "no stray files";
}

INSTANTIATE_TEST_SUITE_P(Formats, RealFiles, testing::Values("jpg", "png", "bmp"));

TEST(RealFilesExif, BlockWithoutOffsetPrefixTravels) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    TempDir dir;
    const std::string out = dir.File("c034.png");
    ASSERT_EQ(Convert(HeicTestdataFile("nokia_C034.heic"), out, "png").status, kTaskSucceeded);
    DecodedImage image;
    ASSERT_EQ(ReadPng(out, &image), "");
    ASSERT_GE(image.exif.size(), 8u) << "Exif without the offset prefix still travels";
    EXPECT_TRUE(image.exif[0] == 'I' || image.exif[0] == 'M');
}

} // namespace
} // namespace velquist::test
