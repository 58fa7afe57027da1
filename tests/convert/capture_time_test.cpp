#include "convert/capture_time.h"
#include "convert_test_util.h"
#include "exif_tiff_builder.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velquist::test {
namespace {

// Exif data whose Exif directory holds the given date and, when not empty, its offset.
std::vector<uint8_t> ExifWithDate(bool little, const std::string& when, const std::string& offset) {
    const TiffBuilder b(little);
    TiffDirectory exif;
    exif.fields.push_back(b.Ascii(0x9003, when));
    if (!offset.empty()) {
        exif.fields.push_back(b.Ascii(0x9011, offset));
    }
    return b.Build({{{b.Ascii(0x010F, "Maker"), TiffBuilder::Pointer(0x8769, 1)}}, exif});
}

std::optional<std::time_t> TimeOf(const std::vector<uint8_t>& tiff) {
    return ExifCaptureTime(tiff.data(), tiff.size());
}

// Local-time readings depend on the zone; these run in a fixed one.
class CaptureTimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        saved_ = zone ? std::optional<std::string>(zone) : std::nullopt;
        ::setenv("TZ", "UTC-3", 1); // three hours east of UTC
        ::tzset();
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("TZ", saved_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    std::optional<std::string> saved_;
};

TEST_F(CaptureTimeTest, DateTimeOriginalIsReadWithItsOffsetOrAsLocalTime) {
    for (const bool little : {true, false}) {
        SCOPED_TRACE(little);
        // 2023-05-06 07:08:09 at +09:30 is 21:38:09 UTC the day before.
        EXPECT_EQ(TimeOf(ExifWithDate(little, "2023:05:06 07:08:09", "+09:30")), 1683322689);
        EXPECT_EQ(TimeOf(ExifWithDate(little, "2023:05:06 07:08:09", "-02:00")), 1683364089);
        // Without an offset the camera's clock is taken as this machine's zone (UTC+3).
        EXPECT_EQ(TimeOf(ExifWithDate(little, "2023:05:06 07:08:09", "")), 1683356889 - 3 * 3600);
        // An offset that is no offset is ignored rather than trusted.
        EXPECT_EQ(TimeOf(ExifWithDate(little, "2023:05:06 07:08:09", "   :  ")),
                  1683356889 - 3 * 3600);
    }
}

TEST_F(CaptureTimeTest, PlaceholdersMalformedAndTruncatedDataGiveNothing) {
    EXPECT_FALSE(TimeOf(ExifWithDate(true, "0000:00:00 00:00:00", "+01:00")));
    EXPECT_FALSE(TimeOf(ExifWithDate(true, "    :  :     :  :  ", "")));
    EXPECT_FALSE(TimeOf(ExifWithDate(true, "2023-05-06 07:08:09", "")));
    EXPECT_FALSE(TimeOf(ExifWithDate(true, "2023:13:06 07:08:09", "")));
    const TiffBuilder b(true);
    EXPECT_FALSE(TimeOf(b.Build({{{b.Ascii(0x9003, "2023:05:06 07:08:09")}}})))
        << "the tag belongs in the Exif directory, not IFD0";
    std::vector<uint8_t> full = ExifWithDate(true, "2023:05:06 07:08:09", "+09:30");
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto when = TimeOf(part);
        EXPECT_TRUE(!when || *when == 1683322689 || *when == 1683356889 - 3 * 3600) << cut;
    }
    EXPECT_FALSE(ExifCaptureTime(nullptr, 0));
}

TEST_F(CaptureTimeTest, HeifFileGivesItsExifDateElseItsOwnModificationTime) {
    TempDir dir;
    HeicImageSpec dated;
    dated.exif = ExifWithDate(false, "2022:12:31 23:59:58", "+01:00");
    const std::string withDate = MakeFixture(dir, "dated.heic", dated);
    const std::string without = MakeFixture(dir, "plain.heic", HeicImageSpec{});
    const timespec old[2] = {{1000000000, 0}, {1000000000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, without.c_str(), old, 0), 0);

    EXPECT_EQ(PhotoCaptureTime(withDate)->tv_sec, 1672527598);
    EXPECT_EQ(PhotoCaptureTime(without)->tv_sec, 1000000000);
    EXPECT_EQ(PhotoCaptureTime(without)->tv_nsec, 500);
    EXPECT_FALSE(PhotoCaptureTime(dir.Path() + "/missing.heic"));

    const std::string output = dir.Path() + "/out.jpg";
    ASSERT_EQ(Convert(withDate, output, "jpg").status, kTaskSucceeded);
    ASSERT_TRUE(StampCaptureTime(withDate, output));
    struct stat info {};
    ASSERT_EQ(::stat(output.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1672527598);
    EXPECT_FALSE(StampCaptureTime(withDate, dir.Path() + "/no-such-output.jpg"));
}

} // namespace
} // namespace velquist::test
