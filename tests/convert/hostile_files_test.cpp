#include "convert/heif_header.h"
#include "convert/memory_estimate.h"
#include "convert_test_util.h"
#include "support/testdata.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquist::test {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(HeifHeader, ReadsWhatTheBoxesClaim) {
    TempDir dir;
    HeicImageSpec spec;
    spec.width = 96;
    spec.height = 40;
    spec.bitDepth = 10;
    spec.alpha = true;
    const HeifHeader header = ReadHeifHeader(MakeFixture(dir, "deep.heic", spec));
    ASSERT_TRUE(header.parsed);
    EXPECT_EQ(header.width, 96u);
    EXPECT_EQ(header.height, 40u);
    EXPECT_EQ(header.bitDepth, 10);
    EXPECT_TRUE(header.hasAlpha);
    // libheif stores a height that is no multiple of the coding block as a grid of one
    // taller tile: a grid its tiles fill.
    EXPECT_TRUE(header.isGrid);
    EXPECT_EQ(header.tileCount, 1);
    EXPECT_EQ(GridProblem(header), "");

    std::ofstream(dir.File("junk.heic")) << "\x00\x00\x00\x08meta and then nothing";
    EXPECT_FALSE(ReadHeifHeader(dir.File("junk.heic")).parsed);
    EXPECT_FALSE(ReadHeifHeader(dir.File("absent.heic")).parsed);
}

TEST(MemoryEstimate, GrowsWithPixelsDepthAndAlpha) {
    HeifHeader header;
    header.parsed = true;
    header.width = 30000;
    header.height = 30000;
    const std::uint64_t plain = EstimateConversionMemory(header, OutputFormat::kJpg);
    EXPECT_GT(plain, std::uint64_t{3} << 30);
    EXPECT_EQ(TooLargeText(header, plain), "image too large: 30000x30000 needs about 3.8 GB");
    header.bitDepth = 10;
    EXPECT_GT(EstimateConversionMemory(header, OutputFormat::kPng), plain * 3 / 2);
    header.bitDepth = 8;
    header.hasAlpha = true;
    EXPECT_GT(EstimateConversionMemory(header, OutputFormat::kPng), plain);
    EXPECT_EQ(EstimateConversionMemory(HeifHeader(), OutputFormat::kJpg), kConversionBaseBytes);
}

// A real phone photo whose grid of 8x6 tiles of 512x512 claims 30000x30000: libheif would
// allocate the claimed size and grow to gigabytes before failing.
TEST(HostileFiles, GridThatItsTilesCannotFillIsRefusedBeforeDecoding) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    TempDir dir;
    const std::string bomb = dir.File("bomb.heic");
    ASSERT_EQ(ForgeGridSize(HeicTestdataFile("mde_IMG_1034.heic"), bomb, 4032, 3024, 30000, 30000),
              "");
    const HeifHeader header = ReadHeifHeader(bomb);
    EXPECT_TRUE(header.isGrid);
    EXPECT_EQ(header.tileCount, 48);
    const ConversionOutcome o = Convert(bomb, dir.File("bomb.jpg"), "jpg");
    EXPECT_EQ(o.status, kTaskFailed);
    EXPECT_EQ(o.diagnostics,
              "Malformed grid image: 48 tiles of 512x512 in 8x6 cannot fill 30000x30000\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("bomb.jpg")));
}

// A worker whose address-space limit is below what the header says the image needs
// refuses it before decoding, with the size and the need in the reason.
TEST(HostileFiles, ImageLargerThanTheAddressSpaceLimitIsRefusedUpFront) {
    TempDir dir;
    HeicImageSpec spec;
    spec.width = 2048;
    spec.height = 2048;
    const std::string photo = MakeFixture(dir, "big.heic", spec);
    const pid_t pid = fork();
    if (pid == 0) {
        // Below what this process already maps: only the check can answer now.
        const rlimit limit{std::uint64_t{80} << 20, RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);
        const ConversionOutcome o = Convert(photo, dir.File("big.png"), "png");
        _exit(o.diagnostics == "image too large: 2048x2048 needs about 0.1 GB\n" ? 3 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_FALSE(std::filesystem::exists(dir.File("big.png")));
}

class Brands : public testing::TestWithParam<const char*> {};

// Files whose major brand is not the usual one but that carry mif1 or heic among their
// compatible brands: an image sequence with a still cover, MIAF, layered images.
TEST_P(Brands, OtherMajorBrandsWithHeifCompatibleBrandsConvert) {
    TempDir dir;
    const std::string plain = MakeFixture(dir, "plain.heic", HeicImageSpec());
    const std::string file = dir.File(std::string(GetParam()) + ".heic");
    ASSERT_EQ(RewriteBrands(plain, file, GetParam()), "");
    const ConversionOutcome o = Convert(file, dir.File("out.png"), "png");
    EXPECT_EQ(o.status, kTaskSucceeded) << o.diagnostics;
    DecodedImage image;
    EXPECT_EQ(ReadPng(dir.File("out.png"), &image), "");
    EXPECT_LE(QuadrantError(image), 12);
}

INSTANTIATE_TEST_SUITE_P(Major, Brands, testing::Values("msf1", "mif2", "heis"));

TEST(HostileFiles, FileWithoutAnyHeifBrandIsStillRefused) {
    TempDir dir;
    const std::string plain = MakeFixture(dir, "plain.heic", HeicImageSpec());
    const std::string file = dir.File("mp4.heic");
    ASSERT_EQ(RewriteBrands(plain, file, "isom", {"isom", "mp41"}), "");
    const ConversionOutcome o = Convert(file, dir.File("out.jpg"), "jpg");
    EXPECT_EQ(o.status, kTaskFailed);
    EXPECT_EQ(o.diagnostics.rfind("Could not read HEIF file: ", 0), 0u) << o.diagnostics;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.jpg")));
}

// Cameras write profiles whose header length differs from their data; libpng refuses such
// a profile. The PNG goes without it, with one warning line.
TEST(HostileFiles, IccProfileLibpngRejectsLeavesOnlyTheIccChunkOut) {
    TempDir dir;
    HeicImageSpec spec;
    spec.icc = MakeIccProfile(600);
    spec.icc[2] = 0x01; // the header claims 256 bytes
    spec.icc[3] = 0x00;
    spec.exif = MakeTiffExif(true, 1);
    const std::string file = MakeFixture(dir, "odd-icc.heic", spec);
    const ConversionOutcome png = Convert(file, dir.File("out.png"), "png");
    ASSERT_EQ(png.status, kTaskSucceeded) << png.diagnostics;
    EXPECT_EQ(std::count(png.diagnostics.begin(), png.diagnostics.end(), '\n'), 1)
        << png.diagnostics;
    EXPECT_TRUE(Has(png.diagnostics, "length does not match profile")) << png.diagnostics;
    DecodedImage image;
    ASSERT_EQ(ReadPng(dir.File("out.png"), &image), "");
    EXPECT_TRUE(image.icc.empty());
    EXPECT_FALSE(image.exif.empty()) << "everything else stays";
    EXPECT_LE(QuadrantError(image), 12);
    for (const char* format : {"jpg", "bmp"}) {
        EXPECT_EQ(Convert(file, dir.File(std::string("out.") + format), format).status,
                  kTaskSucceeded);
    }
}

} // namespace
} // namespace velquist::test
