#include "convert/exif_compact.h"
#include "convert/tiff_directory.h"
#include "convert_test_util.h"
#include "exif_tiff_builder.h"

#include <gtest/gtest.h>
#include <random>

namespace velquist::test {
namespace {

constexpr size_t kApp1TiffLimit = 65533 - 6;
constexpr uint16_t kMake = 0x010F;
constexpr uint16_t kModel = 0x0110;
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kUserComment = 0x9286;

std::vector<uint8_t> Filler(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 31);
    }
    return bytes;
}

// Laid out as phones write it: IFD0 with the camera, the Exif directory with the capture
// time, a maker note and a user comment, a GPS directory and IFD1 with a JPEG thumbnail.
std::vector<uint8_t> PhoneExif(bool little, size_t makerNote, size_t thumbnail,
                               size_t comment = 10) {
    const TiffBuilder b(little);
    TiffDirectory ifd0{{b.Ascii(kMake, "Xiaomi"), b.Ascii(kModel, "2201123G"), b.Short(0x0112, 1),
                        TiffBuilder::Pointer(0x8769, 1), TiffBuilder::Pointer(0x8825, 2)},
                       3};
    TiffDirectory exif{{b.Ascii(kDateTimeOriginal, "2023:08:01 18:42:07"),
                        b.Bytes(0x927C, Filler(makerNote, 1)),
                        b.Bytes(kUserComment, Filler(comment, 2)), TiffBuilder::Pointer(0xA005, 4)},
                       -1};
    TiffDirectory gps{{b.Ascii(0x0001, "N"), b.Rationals(0x0002, {{48, 1}, {8, 1}, {0, 1}})}, -1};
    TiffDirectory ifd1{{b.Short(0x0103, 6), TiffBuilder::BlobOffset(0x0201, 0),
                        b.Long(0x0202, static_cast<uint32_t>(thumbnail))},
                       -1};
    TiffDirectory interop{{b.Ascii(0x0001, "R98")}, -1};
    return b.Build({ifd0, exif, gps, ifd1, interop}, {Filler(thumbnail, 3)});
}

// The value of a tag as stored, found by following IFD0 (and the Exif pointer when
// inExif); empty when absent.
std::vector<uint8_t> TagValue(const std::vector<uint8_t>& data, uint16_t tag, bool inExif) {
    using namespace tiff;
    const TiffView view(data);
    uint32_t offset = 0;
    view.Read32(4, &offset);
    std::optional<Directory> dir = ReadDirectory(view, offset);
    if (dir && inExif) {
        const Entry* pointer = FindEntry(*dir, kExifIfdTag);
        dir = pointer != nullptr ? ReadDirectory(view, pointer->value) : std::nullopt;
    }
    const Entry* entry = dir ? FindEntry(*dir, tag) : nullptr;
    if (entry == nullptr) {
        return {};
    }
    const auto range = OutOfLineValue(view, *entry);
    const size_t at = range ? range->begin : entry->at + 8;
    const size_t length = TypeSize(entry->type) * entry->count;
    return std::vector<uint8_t>(data.begin() + static_cast<long>(at),
                                data.begin() + static_cast<long>(at + length));
}

std::string TagText(const std::vector<uint8_t>& data, uint16_t tag, bool inExif) {
    const std::vector<uint8_t> value = TagValue(data, tag, inExif);
    return value.empty() ? "" : std::string(value.begin(), value.end() - 1);
}

uint32_t NextIfdOfIfd0(const std::vector<uint8_t>& data) {
    const tiff::TiffView view(data);
    uint32_t offset = 0;
    view.Read32(4, &offset);
    return tiff::ReadDirectory(view, offset)->next;
}

TEST(ExifCompact, DropsOnlyAsMuchAsNeededInOrder) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        // The thumbnail alone makes the difference: the maker note stays, byte for byte.
        ExifFit fit = FitExif(PhoneExif(little, 30000, 50000), kApp1TiffLimit);
        ASSERT_FALSE(fit.tiff.empty());
        EXPECT_EQ(DroppedExifParts(fit), "the embedded thumbnail");
        EXPECT_EQ(TagValue(fit.tiff, 0x927C, true), Filler(30000, 1));
        EXPECT_EQ(NextIfdOfIfd0(fit.tiff), 0u);

        // Past the maker note, other large UNDEFINED values go, largest first.
        fit = FitExif(PhoneExif(little, 40000, 0, 70000), kApp1TiffLimit);
        ASSERT_FALSE(fit.tiff.empty());
        EXPECT_EQ(DroppedExifParts(fit),
                  "the embedded thumbnail, maker note and 1 other large value");
        EXPECT_TRUE(TagValue(fit.tiff, kUserComment, true).empty());
    }
}

TEST(ExifCompact, WhatCannotFitGivesNothing) {
    const TiffBuilder b(true);
    const std::vector<uint8_t> big =
        b.Build({TiffDirectory{{b.Ascii(0x010E, std::string(70000, 'x'))}, -1}});
    EXPECT_TRUE(FitExif(big, kApp1TiffLimit).tiff.empty());
    EXPECT_TRUE(FitExif({'I', 'I', 42, 0, 200, 0, 0, 0}, kApp1TiffLimit).tiff.empty());
}

// Offsets and counts come from the photo. Whatever they say, the rewrite stays inside
// the block, and what it produces reads back the same when rewritten again.
TEST(ExifCompact, HostileOffsetsAndCountsStayInside) {
    const std::vector<uint8_t> good = PhoneExif(true, 3000, 2000);
    std::mt19937 random(7);
    int rewritten = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> data = good;
        const int flips = 1 + round % 6;
        for (int i = 0; i < flips; ++i) {
            // Mostly in the directories, where offsets and counts live.
            const size_t at = 8 + random() % (round % 3 == 0 ? data.size() - 8 : 200);
            data[at] = static_cast<uint8_t>(random());
        }
        const ExifFit fit = FitExif(data, kApp1TiffLimit);
        if (fit.tiff.empty()) {
            continue;
        }
        ASSERT_LE(fit.tiff.size(), kApp1TiffLimit);
        ASSERT_EQ(FitExif(fit.tiff, kApp1TiffLimit).tiff, fit.tiff) << "round " << round;
        ++rewritten;
    }
    EXPECT_GT(rewritten, 1000) << "most damage leaves a readable IFD0";
}

TEST(ExifCompact, SharedValuesCannotMultiplyTheBlock) {
    const TiffBuilder b(true);
    std::vector<uint8_t> data = b.Build({TiffDirectory{{b.Bytes(0x9999, Filler(60000, 4))}, -1}});
    // 2000 more entries all naming the one 60000-byte value.
    const std::vector<uint8_t> entry(data.begin() + 10, data.begin() + 22);
    std::vector<uint8_t> forged = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xD1, 0x07};
    for (int i = 0; i < 2001; ++i) {
        forged.insert(forged.end(), entry.begin(), entry.end());
    }
    const uint32_t shift = 2000 * 12;
    forged.insert(forged.end(), {0, 0, 0, 0});
    forged.insert(forged.end(), data.begin() + 26, data.end());
    for (size_t e = 0; e < 2001; ++e) {
        uint8_t* value = &forged[10 + e * 12 + 8];
        const uint32_t moved = (value[0] | value[1] << 8 | value[2] << 16) + shift;
        value[0] = static_cast<uint8_t>(moved);
        value[1] = static_cast<uint8_t>(moved >> 8);
        value[2] = static_cast<uint8_t>(moved >> 16);
    }
    // Read once, the value is not copied for the entries that repeat it.
    const ExifFit fit = FitExif(forged, 1 << 20);
    EXPECT_EQ(fit.droppedOthers, 0u);
    EXPECT_LT(fit.tiff.size(), 61000u);
}

TEST(ExifCompact, PhoneSizedBlockKeepsCaptureTimeAndCameraInJpeg) {
    for (bool little : {true, false}) {
        TempDir dir;
        HeicImageSpec spec;
        spec.exif = PhoneExif(little, 130000, 62000); // about 192 KB, as phones write
        const std::string in = MakeFixture(dir, "phone.heic", spec);
        const ConversionOutcome outcome = Convert(in, dir.File("phone.jpg"), "jpg");
        ASSERT_EQ(outcome.status, kTaskSucceeded);
        EXPECT_EQ(outcome.diagnostics,
                  "Exif block too large for JPEG: dropped the embedded thumbnail and maker note\n");
        DecodedImage image;
        ASSERT_EQ(ReadJpeg(dir.File("phone.jpg"), &image), "");
        ASSERT_EQ(image.app1.size(), 1u);
        const std::vector<uint8_t> tiffData(image.app1[0].begin() + 6, image.app1[0].end());
        EXPECT_EQ(TagText(tiffData, kDateTimeOriginal, true), "2023:08:01 18:42:07");
        EXPECT_EQ(TagText(tiffData, kMake, false), "Xiaomi");
        EXPECT_TRUE(TagValue(tiffData, 0x927C, true).empty());
        EXPECT_EQ(NextIfdOfIfd0(tiffData), 0u);

        // PNG has room for all of it.
        ASSERT_EQ(Convert(in, dir.File("phone.png"), "png").diagnostics, "");
        ASSERT_EQ(ReadPng(dir.File("phone.png"), &image), "");
        EXPECT_EQ(image.exif, spec.exif);
    }
}

} // namespace
} // namespace velquist::test
