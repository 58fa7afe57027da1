#include "convert/heif_handles.h"
#include "convert/jpeg_encoder.h"
#include "convert_test_util.h"
#include "exif_tiff_builder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

const std::vector<uint8_t> kExifHeader = {'E', 'x', 'i', 'f', 0, 0};

DecodedImage ConvertToJpeg(const HeicImageSpec& spec, bool keepExif = true,
                           std::string* diagnostics = nullptr) {
    TempDir dir;
    const std::string in = MakeFixture(dir, "in.heic", spec);
    const std::string out = dir.File("out.jpg");
    const ConversionOutcome outcome = Convert(in, out, "jpg", keepExif);
    EXPECT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
    if (diagnostics != nullptr) {
        *diagnostics = outcome.diagnostics;
    }
    DecodedImage image;
    EXPECT_EQ(ReadJpeg(out, &image), "");
    return image;
}

bool StartsWith(const std::vector<uint8_t>& data, const std::vector<uint8_t>& prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

TEST(JpegEncoder, QualityOutsideRangeBecomesNinety) {
    EXPECT_EQ(JpegEncoder(0).Quality(), 0);
    EXPECT_EQ(JpegEncoder(100).Quality(), 100);
    EXPECT_EQ(JpegEncoder(101).Quality(), 90);
    EXPECT_EQ(JpegEncoder(-5).Quality(), 90);
}

TEST(JpegEncoder, DecodesWithTransformationsEvenWithExif) {
    heif_decoding_options* options = heif_decoding_options_alloc();
    HeifDecodingOptionsPtr owner(options);
    JpegEncoder(90).AdjustDecodingOptions(nullptr, options);
    EXPECT_EQ(options->ignore_transformations, 0);
}

TEST(JpegEncoder, SizesAndColoursSurviveIncludingOddSizes) {
    for (auto [w, h] : {std::pair{64, 48}, {33, 17}, {3, 3}, {1, 1}, {17, 40}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        HeicImageSpec spec;
        spec.width = w;
        spec.height = h;
        const DecodedImage image = ConvertToJpeg(spec);
        ASSERT_EQ(image.width, w);
        ASSERT_EQ(image.height, h);
        if (w >= 16) {
            EXPECT_LE(QuadrantError(image), 12);
        } else {
            EXPECT_LE(ColorDistance(image, 0, 0, QuadrantColor(kTopLeft)), 40);
        }
    }
}

TEST(JpegEncoder, RawPlanesGiveTheSamePixelsAsReplicatedScanlines) {
    TempDir dir;
    HeicImageSpec spec;
    spec.width = 37;
    spec.height = 21;
    const std::string in = MakeFixture(dir, "in.heic", spec);
    HeifContextPtr ctx(heif_context_alloc());
    ASSERT_EQ(heif_context_read_from_file(ctx.get(), in.c_str(), nullptr).code, heif_error_Ok);
    heif_image_handle* rawHandle = nullptr;
    ASSERT_EQ(heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code, heif_error_Ok);
    HeifHandlePtr handle(rawHandle);
    heif_image* rawImage = nullptr;
    ASSERT_EQ(
        heif_decode_image(handle.get(), &rawImage, heif_colorspace_YCbCr, heif_chroma_420, nullptr)
            .code,
        heif_error_Ok);
    HeifImagePtr image(rawImage);
    Diagnostics diag(false);
    JpegEncoder raw(90, true, JpegEncoder::Feed::kRawPlanes);
    JpegEncoder scanlines(90, true, JpegEncoder::Feed::kScanlines);
    ASSERT_TRUE(raw.WriteImage(handle.get(), image.get(), dir.File("raw.jpg"), diag));
    ASSERT_TRUE(scanlines.WriteImage(handle.get(), image.get(), dir.File("lines.jpg"), diag));
    DecodedImage a;
    DecodedImage b;
    ASSERT_EQ(ReadJpeg(dir.File("raw.jpg"), &a), "");
    ASSERT_EQ(ReadJpeg(dir.File("lines.jpg"), &b), "");
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.samples, b.samples);
}

TEST(JpegEncoder, ExifBecomesWellFormedApp1WithUprightOrientation) {
    struct Case {
        const char* name;
        bool little;
        ExifStorage storage;
        bool withHeader;
    };
    for (const Case& c : {Case{"libheif II", true, ExifStorage::kLibheif, false},
                          Case{"libheif MM", false, ExifStorage::kLibheif, false},
                          Case{"no prefix", true, ExifStorage::kVerbatim, false},
                          Case{"Exif header", false, ExifStorage::kVerbatim, true}}) {
        SCOPED_TRACE(c.name);
        HeicImageSpec spec;
        const std::vector<uint8_t> tiff = MakeTiffExif(c.little, 6, 300);
        spec.exif = tiff;
        if (c.withHeader) {
            spec.exif.insert(spec.exif.begin(), kExifHeader.begin(), kExifHeader.end());
        }
        spec.exifStorage = c.storage;
        const DecodedImage image = ConvertToJpeg(spec);
        ASSERT_EQ(image.app1.size(), 1u);
        const std::vector<uint8_t>& app1 = image.app1[0];
        ASSERT_TRUE(StartsWith(app1, kExifHeader));
        EXPECT_EQ(app1.size(), 6 + tiff.size());
        EXPECT_EQ(ExifOrientation(app1, 6), 1);
        std::vector<uint8_t> expected = MakeTiffExif(c.little, 1, 300);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), app1.begin() + 6));
    }
}

TEST(JpegEncoder, KeepExifOffWritesNoApp1) {
    HeicImageSpec spec;
    spec.exif = MakeTiffExif(true, 1);
    EXPECT_TRUE(ConvertToJpeg(spec, false).app1.empty());
    EXPECT_EQ(ConvertToJpeg(spec, true).app1.size(), 1u);
}

TEST(JpegEncoder, OversizedExifIsCompactedOrLeftOutAndTheImageStillWritten) {
    HeicImageSpec spec;
    // Filler no directory refers to: the rewritten block drops it and loses nothing.
    spec.exif = MakeTiffExif(true, 1, 65528); // + "Exif\0\0" = 65534 > 65533
    std::string diagnostics;
    DecodedImage image = ConvertToJpeg(spec, true, &diagnostics);
    EXPECT_EQ(diagnostics, "");
    ASSERT_EQ(image.app1.size(), 1u);
    EXPECT_LT(image.app1[0].size(), 100u);
    EXPECT_EQ(ExifOrientation(image.app1[0], 6), 1);

    spec.exif = MakeTiffExif(true, 1, 65527);
    EXPECT_EQ(ConvertToJpeg(spec).app1.at(0).size(), 65533u);

    // One description larger than a segment is nothing that can be given up.
    const TiffBuilder b(true);
    spec.exif = b.Build({TiffDirectory{{b.Ascii(0x010E, std::string(80000, 'd'))}, -1}});
    image = ConvertToJpeg(spec, true, &diagnostics);
    EXPECT_TRUE(image.app1.empty());
    EXPECT_EQ(diagnostics, "Exif block of " + std::to_string(spec.exif.size() + 6) +
                               " bytes does not fit one APP1 segment, left out\n");
    EXPECT_EQ(image.width, 64);
}

TEST(JpegEncoder, TooShortExifIsLeftOutWithNote) {
    HeicImageSpec spec;
    spec.exif = {0, 0, 0, 0};
    spec.exifStorage = ExifStorage::kVerbatim;
    std::string diagnostics;
    EXPECT_TRUE(ConvertToJpeg(spec, true, &diagnostics).app1.empty());
    EXPECT_EQ(diagnostics, "Exif block has no TIFF header, left out\n");
}

TEST(JpegEncoder, IccProfileIsSplitIntoApp2Chunks) {
    for (auto [size, chunks] : {std::pair<size_t, size_t>{65519, 1}, {65520, 2}, {140000, 3}}) {
        SCOPED_TRACE(size);
        HeicImageSpec spec;
        spec.icc = MakeIccProfile(size);
        const DecodedImage image = ConvertToJpeg(spec);
        ASSERT_EQ(image.app2.size(), chunks);
        std::vector<uint8_t> joined;
        for (size_t k = 0; k < chunks; ++k) {
            const std::vector<uint8_t>& m = image.app2[k];
            ASSERT_GE(m.size(), 14u);
            EXPECT_EQ(std::memcmp(m.data(), "ICC_PROFILE\0", 12), 0);
            EXPECT_EQ(m[12], k + 1);
            EXPECT_EQ(m[13], chunks);
            EXPECT_LE(m.size(), 65533u);
            joined.insert(joined.end(), m.begin() + 14, m.end());
        }
        EXPECT_EQ(joined, spec.icc);
    }
}

TEST(JpegEncoder, NoProfileNoApp2) {
    EXPECT_TRUE(ConvertToJpeg(HeicImageSpec()).app2.empty());
}

TEST(JpegEncoder, DeepSourceIsReducedAndMatchesBmpColours) {
    for (int depth : {10, 12}) {
        SCOPED_TRACE(depth);
        TempDir dir;
        HeicImageSpec spec;
        spec.bitDepth = depth;
        const std::string in = MakeFixture(dir, "deep.heic", spec);
        ASSERT_EQ(Convert(in, dir.File("deep.jpg"), "jpg", true, 95).status, kTaskSucceeded);
        ASSERT_EQ(Convert(in, dir.File("deep.bmp"), "bmp").status, kTaskSucceeded);
        DecodedImage jpeg;
        DecodedImage bmp;
        ASSERT_EQ(ReadJpeg(dir.File("deep.jpg"), &jpeg), "");
        ASSERT_EQ(ReadBmp(dir.File("deep.bmp"), &bmp), "");
        for (int y : {5, 40}) {
            for (int x : {5, 60}) {
                const Rgb fromBmp{bmp.At(x, y, 2), bmp.At(x, y, 1), bmp.At(x, y, 0)};
                EXPECT_LE(ColorDistance(jpeg, x, y, fromBmp), 6) << x << "," << y;
            }
        }
    }
}

TEST(JpegEncoder, RotatedImageIsWrittenUpright) {
    HeicImageSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.orientation = heif_orientation_rotate_90_cw;
    spec.exif = MakeTiffExif(false, 6);
    const DecodedImage image = ConvertToJpeg(spec);
    EXPECT_EQ(image.width, 48);
    EXPECT_EQ(image.height, 64);
    // Rotating the stored quadrants 90 degrees clockwise: the stored bottom-left lands top-left.
    EXPECT_LE(ColorDistance(image, 12, 16, QuadrantColor(kBottomLeft)), 12);
    EXPECT_LE(ColorDistance(image, 36, 16, QuadrantColor(kTopLeft)), 12);
    EXPECT_EQ(ExifOrientation(image.app1.at(0), 6), 1);
}

} // namespace
} // namespace velquist::test
