#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

CliParseResult Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CliOptions, ConvertModeDefaultsAndOptions) {
    CliParseResult r = Parse({"a.heic", "b.heic"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.mode, CliOptions::Mode::kConvert);
    EXPECT_EQ(r.options.inputs, (std::vector<std::string>{"a.heic", "b.heic"}));
    EXPECT_EQ(r.options.format, "jpg");
    EXPECT_EQ(r.options.quality, 90);
    EXPECT_TRUE(r.options.outputDir.empty());

    r = Parse({"-f", "png", "a.heic", "-q", "70", "-o", "/out", "--", "-odd.heic"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.format, "png");
    EXPECT_EQ(r.options.quality, 70);
    EXPECT_EQ(r.options.outputDir, "/out");
    EXPECT_EQ(r.options.inputs, (std::vector<std::string>{"a.heic", "-odd.heic"}));
}

TEST(CliOptions, ConvertModeRefusesBadUsage) {
    EXPECT_FALSE(Parse({}).ok);
    EXPECT_FALSE(Parse({"-f", "gif", "a.heic"}).ok);
    EXPECT_FALSE(Parse({"-f"}).ok);
    EXPECT_FALSE(Parse({"-q", "101", "a.heic"}).ok);
    EXPECT_FALSE(Parse({"-q", "9x", "a.heic"}).ok);
    EXPECT_FALSE(Parse({"-o", "", "a.heic"}).ok);
    const CliParseResult r = Parse({"--bogus", "a.heic"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "unknown option --bogus");
}

TEST(CliOptions, HelpNeedsNoFiles) {
    EXPECT_EQ(Parse({"--help"}).options.mode, CliOptions::Mode::kHelp);
    EXPECT_TRUE(Parse({"-h"}).ok);
}

TEST(CliOptions, WorkerMode) {
    CliParseResult r = Parse(
        {"--worker", "--format", "png", "--quality", "40", "--exif", "0", "in.heic", "out.png"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.mode, CliOptions::Mode::kWorker);
    EXPECT_EQ(r.options.format, "png");
    EXPECT_EQ(r.options.quality, 40);
    EXPECT_FALSE(r.options.keepExif);
    EXPECT_EQ(r.options.inputs, (std::vector<std::string>{"in.heic"}));
    EXPECT_EQ(r.options.workerOutput, "out.png");

    EXPECT_FALSE(Parse({"--worker", "--format", "png", "in.heic"}).ok);
    EXPECT_FALSE(Parse({"--worker", "--exif", "2", "in", "out"}).ok);
    EXPECT_FALSE(Parse({"--worker", "--quality", "high", "in", "out"}).ok);
    EXPECT_FALSE(Parse({"--worker", "--format"}).ok);
    EXPECT_FALSE(Parse({"--worker", "-q", "5", "in", "out"}).ok);
}

} // namespace
} // namespace velquist
