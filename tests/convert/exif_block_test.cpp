#include "convert/exif_block.h"
#include "convert/heif_handles.h"
#include "convert_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

// Built in one piece: GCC 12 at -O3 misreads an insert into a vector grown from an
// initializer list as a copy past its end (-Warray-bounds).
std::vector<uint8_t> Joined(std::initializer_list<uint8_t> head, const std::vector<uint8_t>& rest) {
    std::vector<uint8_t> block(head.size() + rest.size());
    std::copy(head.begin(), head.end(), block.begin());
    std::copy(rest.begin(), rest.end(), block.begin() + static_cast<std::ptrdiff_t>(head.size()));
    return block;
}

std::vector<uint8_t> Prefixed(uint32_t offset, const std::vector<uint8_t>& rest) {
    return Joined({static_cast<uint8_t>(offset >> 24), static_cast<uint8_t>(offset >> 16),
                   static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)},
                  rest);
}

std::vector<uint8_t> WithExifHeader(const std::vector<uint8_t>& tiff) {
    return Joined({'E', 'x', 'i', 'f', 0, 0}, tiff);
}

std::vector<uint8_t> Tiff(const std::vector<uint8_t>& block) {
    return ExifTiffData(block.data(), block.size());
}

int OrientationOf(std::vector<uint8_t> tiff) {
    // Reset reports whether a tag other than 1 was present; read the value directly.
    const bool little = tiff[0] == 'I';
    const size_t entry = 8 + 2 + 12; // second entry of the fixture's IFD0
    return little ? tiff[entry + 8] | tiff[entry + 9] << 8 : tiff[entry + 8] << 8 | tiff[entry + 9];
}

TEST(ExifTiffData, AcceptsEveryStorageForm) {
    const std::vector<uint8_t> tiff = MakeTiffExif(true, 6);
    EXPECT_EQ(Tiff(tiff), tiff);
    EXPECT_EQ(Tiff(WithExifHeader(tiff)), tiff);
    EXPECT_EQ(Tiff(Prefixed(0, tiff)), tiff);
    EXPECT_EQ(Tiff(Prefixed(6, WithExifHeader(tiff))), tiff);
    std::vector<uint8_t> gap = {9, 9, 9};
    gap.insert(gap.end(), tiff.begin(), tiff.end());
    EXPECT_EQ(Tiff(Prefixed(3, gap)), tiff);
}

TEST(ExifTiffData, RejectsBlocksWithoutTiffWhereTheyPoint) {
    const std::vector<uint8_t> tiff = MakeTiffExif(false, 3);
    EXPECT_TRUE(Tiff(Prefixed(1, tiff)).empty());
    EXPECT_TRUE(Tiff(Prefixed(0xFFFFFFF0u, tiff)).empty());
    EXPECT_TRUE(Tiff({0, 0, 0, 0}).empty());
    EXPECT_TRUE(Tiff({1, 2}).empty());
    EXPECT_TRUE(ExifTiffData(nullptr, 0).empty());
}

TEST(ResetExifOrientation, RewritesTheTagInBothByteOrders) {
    for (bool little : {true, false}) {
        std::vector<uint8_t> tiff = MakeTiffExif(little, 8);
        ASSERT_EQ(OrientationOf(tiff), 8);
        EXPECT_TRUE(ResetExifOrientation(tiff));
        EXPECT_EQ(OrientationOf(tiff), 1) << (little ? "II" : "MM");
        std::vector<uint8_t> expected = MakeTiffExif(little, 1);
        EXPECT_EQ(tiff, expected) << "only the value may change";
    }
}

TEST(ResetExifOrientation, LeavesDataWithoutTagOrMalformedAlone) {
    std::vector<uint8_t> noTag = MakeTiffExif(true, 0);
    const std::vector<uint8_t> before = noTag;
    EXPECT_FALSE(ResetExifOrientation(noTag));
    EXPECT_EQ(noTag, before);

    std::vector<uint8_t> truncated = MakeTiffExif(false, 6);
    truncated.resize(8 + 2 + 12 + 6); // the orientation entry is cut
    EXPECT_FALSE(ResetExifOrientation(truncated));

    std::vector<uint8_t> farIfd = MakeTiffExif(true, 6);
    farIfd[4] = 0xF0;
    farIfd[7] = 0x7F;
    EXPECT_FALSE(ResetExifOrientation(farIfd));

    std::vector<uint8_t> hugeCount = MakeTiffExif(true, 0);
    hugeCount[8] = 0xFF;
    hugeCount[9] = 0xFF;
    EXPECT_FALSE(ResetExifOrientation(hugeCount));
}

struct OpenedHeic {
    HeifContextPtr ctx;
    HeifHandlePtr handle;
};

OpenedHeic Open(const std::string& path) {
    OpenedHeic opened;
    opened.ctx.reset(heif_context_alloc());
    EXPECT_EQ(heif_context_read_from_file(opened.ctx.get(), path.c_str(), nullptr).code,
              heif_error_Ok);
    heif_image_handle* handle = nullptr;
    EXPECT_EQ(heif_context_get_primary_image_handle(opened.ctx.get(), &handle).code, heif_error_Ok);
    opened.handle.reset(handle);
    return opened;
}

TEST(FindExifBlock, NoBlockGivesNull) {
    TempDir dir;
    const OpenedHeic heic = Open(MakeFixture(dir, "plain.heic", HeicImageSpec()));
    EXPECT_FALSE(HasExifBlock(heic.handle.get()));
    size_t size = 123;
    EXPECT_EQ(FindExifBlock(heic.handle.get(), &size), nullptr);
    EXPECT_EQ(size, 123u);
}

TEST(FindExifBlock, ReturnsTheFirstOfTwoBlocksAsStored) {
    TempDir dir;
    HeicImageSpec spec;
    spec.exif = MakeTiffExif(true, 6);
    spec.extraExifBlocks = {Prefixed(0, MakeTiffExif(false, 3))};
    const OpenedHeic heic = Open(MakeFixture(dir, "two.heic", spec));
    ASSERT_TRUE(HasExifBlock(heic.handle.get()));
    size_t size = 0;
    uint8_t* block = FindExifBlock(heic.handle.get(), &size);
    ASSERT_NE(block, nullptr);
    const std::vector<uint8_t> copy(block, block + size);
    std::free(block);
    EXPECT_EQ(copy, Prefixed(0, spec.exif)) << "libheif stores the offset prefix in front";
}

} // namespace
} // namespace velquist::test
