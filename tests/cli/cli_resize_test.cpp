#include "cli/cli_options.h"
#include "cli_test_util.h"
#include "support/image_readers.h"

#include <gtest/gtest.h>

namespace velquist::test {
namespace {

TEST(CliMaxSize, ParsedAndRefusedOutsideItsRange) {
    CliParseResult r = ParseCommandLine({"--max-size", "1920", "a.heic"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.maxSize, 1920);
    EXPECT_EQ(r.options.optionArgs, (std::vector<std::string>{"--max-size", "1920"}))
        << "a retry shrinks as well";
    EXPECT_EQ(ParseCommandLine({"a.heic"}).options.maxSize, std::nullopt);
    EXPECT_EQ(ParseCommandLine({"--max-size", "0", "a.heic"}).options.maxSize, 0);
    for (const char* bad : {"-1", "", "12px", "1e3", "65501", "99999999999"}) {
        r = ParseCommandLine({"--max-size", bad, "a.heic"});
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_EQ(r.error, "--max-size needs a number of pixels from 0 to 65500") << bad;
    }
    EXPECT_FALSE(ParseCommandLine({"a.heic", "--max-size"}).ok);
}

int PngWidth(const std::string& path) {
    DecodedImage image;
    return ReadPng(path, &image).empty() ? image.width : -1;
}

TEST(CliMaxSize, ShrinksThroughTheWorkersAndFollowsTheSavedSetting) {
    TempDir dir;
    const std::string photo = MakeHeic(dir, "in/photo.heic"); // 64x48
    ProcessResult r = RunConverter(dir, {"--max-size", "abc", photo});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(LineCount(r.err), 1u) << r.err;

    r = RunConverter(dir, {"-f", "png", "--max-size", "32", photo});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(PngWidth(dir.File("in/photo.png")), 32);

    SaveSettings(dir, "[global]\nimage-max-size = 40\n");
    r = RunConverter(dir, {photo});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(JpegWidth(dir.File("in/photo.jpg")), 40);
    r = RunConverter(dir, {"--max-size", "0", photo});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(JpegWidth(dir.File("in/photo.jpg")), 64) << "0 on the command line keeps the size";
}

} // namespace
} // namespace velquist::test
