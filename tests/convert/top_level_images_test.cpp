#include "convert/heif_handles.h"
#include "convert/top_level_images.h"
#include "convert_test_util.h"
#include "support/testdata.h"

#include <gtest/gtest.h>

namespace velquist::test {
namespace {

TEST(NumberedImagePath, NumbersTheOthersBeforeTheExtension) {
    EXPECT_EQ(NumberedImagePath("out/IMG_1.jpg", 0), "out/IMG_1.jpg");
    EXPECT_EQ(NumberedImagePath("out/IMG_1.jpg", 1), "out/IMG_1-2.jpg");
    EXPECT_EQ(NumberedImagePath("out/IMG_1.jpg", 9), "out/IMG_1-10.jpg");
    EXPECT_EQ(NumberedImagePath("IMG.tar.PNG", 2), "IMG.tar-3.PNG");
}

TEST(NumberedImagePath, DotsOutsideTheExtensionAndRawBytes) {
    EXPECT_EQ(NumberedImagePath("2024.05/burst", 1), "2024.05/burst-2");
    EXPECT_EQ(NumberedImagePath("dir/.jpg", 1), "dir/.jpg-2");
    EXPECT_EQ(NumberedImagePath("noext", 1), "noext-2");
    // A name that is not UTF-8 keeps its bytes.
    const std::string name = std::string("d/\xff\xfe\x80") + ".bmp";
    EXPECT_EQ(NumberedImagePath(name, 1), std::string("d/\xff\xfe\x80") + "-2.bmp");
}

// The fixture's images differ in width so each can be recognised.
std::vector<int> WidthsInOutputOrder(const std::string& path) {
    HeifContextPtr ctx(heif_context_alloc());
    EXPECT_EQ(heif_context_read_from_file(ctx.get(), path.c_str(), nullptr).code, heif_error_Ok);
    std::vector<int> widths;
    for (heif_item_id id : TopLevelImagesInOutputOrder(ctx.get())) {
        heif_image_handle* raw = nullptr;
        EXPECT_EQ(heif_context_get_image_handle(ctx.get(), id, &raw).code, heif_error_Ok);
        HeifHandlePtr handle(raw);
        widths.push_back(heif_image_handle_get_width(handle.get()));
    }
    return widths;
}

std::vector<HeicImageSpec> ThreeImages() {
    std::vector<HeicImageSpec> images(3);
    images[0].width = 64;
    images[1].width = 80;
    images[2].width = 96;
    return images;
}

TEST(TopLevelImagesInOutputOrder, PrimaryFirstThenFileOrder) {
    TempDir dir;
    for (int primary : {0, 1, 2}) {
        const std::string path = dir.File("burst" + std::to_string(primary) + ".heic");
        ASSERT_EQ(WriteHeic(path, ThreeImages(), primary), "");
        const std::vector<std::vector<int>> expected = {{64, 80, 96}, {80, 64, 96}, {96, 64, 80}};
        EXPECT_EQ(WidthsInOutputOrder(path), expected[static_cast<size_t>(primary)]);
    }
}

TEST(PlanImageOutputs, EveryImageGetsItsOwnName) {
    TempDir dir;
    const std::string path = dir.File("burst.heic");
    ASSERT_EQ(WriteHeic(path, ThreeImages(), 2), "");
    HeifContextPtr ctx(heif_context_alloc());
    ASSERT_EQ(heif_context_read_from_file(ctx.get(), path.c_str(), nullptr).code, heif_error_Ok);
    heif_item_id primary = 0;
    ASSERT_EQ(heif_context_get_primary_image_ID(ctx.get(), &primary).code, heif_error_Ok);
    const std::vector<ImageOutput> plan = PlanImageOutputs(ctx.get(), "out/burst.jpg");
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].id, primary);
    EXPECT_EQ(plan[0].path, "out/burst.jpg");
    EXPECT_EQ(plan[1].path, "out/burst-2.jpg");
    EXPECT_EQ(plan[2].path, "out/burst-3.jpg");
    EXPECT_NE(plan[1].id, plan[2].id);
}

TEST(PlanImageOutputs, SingleImageAndRealMultiImageFiles) {
    TempDir dir;
    const std::string single = MakeFixture(dir, "one.heic", HeicImageSpec{});
    HeifContextPtr ctx(heif_context_alloc());
    ASSERT_EQ(heif_context_read_from_file(ctx.get(), single.c_str(), nullptr).code, heif_error_Ok);
    ASSERT_EQ(PlanImageOutputs(ctx.get(), "one.png").size(), 1u);

    VELQUIST_REQUIRE_HEIC_TESTDATA();
    // A conformance file with ten top-level images, one with two.
    for (const auto& [name, count] : std::vector<std::pair<std::string, size_t>>{
             {"nokia_C004.heic", 10}, {"nokia_C013.heic", 2}}) {
        HeifContextPtr real(heif_context_alloc());
        ASSERT_EQ(
            heif_context_read_from_file(real.get(), HeicTestdataFile(name).c_str(), nullptr).code,
            heif_error_Ok);
        heif_item_id primary = 0;
        ASSERT_EQ(heif_context_get_primary_image_ID(real.get(), &primary).code, heif_error_Ok);
        const std::vector<heif_item_id> ids = TopLevelImagesInOutputOrder(real.get());
        ASSERT_EQ(ids.size(), count) << name;
        EXPECT_EQ(ids[0], primary);
    }
}

} // namespace
} // namespace velquist::test
