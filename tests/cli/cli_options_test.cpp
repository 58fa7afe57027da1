#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

CliParseResult Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CliOptions, ConvertModeLeavesUnsetOptionsToTheSavedSettings) {
    CliParseResult r = Parse({"a.heic", "photos"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.mode, CliOptions::Mode::kConvert);
    EXPECT_EQ(r.options.inputs, (std::vector<std::string>{"a.heic", "photos"}));
    EXPECT_FALSE(r.options.format);
    EXPECT_FALSE(r.options.quality);
    EXPECT_FALSE(r.options.keepExif);
    EXPECT_FALSE(r.options.outputDir);
    EXPECT_FALSE(r.options.recursive);
    EXPECT_EQ(r.options.jobs, 3);

    r = Parse({"-f", "png", "a.heic", "-q", "70", "-o", "/out", "--no-exif", "-r", "-j", "1", "--",
               "-odd.heic", "--exif"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.format, "png");
    EXPECT_EQ(r.options.quality, 70);
    EXPECT_EQ(r.options.outputDir, "/out");
    EXPECT_EQ(r.options.keepExif, false);
    EXPECT_TRUE(r.options.recursive);
    EXPECT_EQ(r.options.jobs, 1);
    EXPECT_EQ(r.options.inputs, (std::vector<std::string>{"a.heic", "-odd.heic", "--exif"}));

    EXPECT_EQ(Parse({"--no-exif", "--exif", "a"}).options.keepExif, true);
    EXPECT_EQ(Parse({"-", "-q", "10"}).options.inputs, std::vector<std::string>{"-"});
}

TEST(CliOptions, BatchControlOptionsAndTheOptionsARetryRepeats) {
    CliParseResult r = Parse({"-o", "/out", "--existing", "skip", "a.heic", "--no-keep-date",
                              "--retry-from", "/l/list", "-q", "50", "--", "-x.heic"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.existing, "skip");
    EXPECT_EQ(r.options.keepDate, false);
    EXPECT_EQ(r.options.retryFrom, "/l/list");
    EXPECT_EQ(r.options.inputs, (std::vector<std::string>{"a.heic", "-x.heic"}));
    EXPECT_EQ(r.options.optionArgs, (std::vector<std::string>{"-o", "/out", "--existing", "skip",
                                                              "--no-keep-date", "-q", "50"}));

    r = Parse({"--retry-from", "list"});
    ASSERT_TRUE(r.ok) << "a list is enough input";
    EXPECT_FALSE(r.options.existing);
    EXPECT_FALSE(r.options.keepDate);
    EXPECT_TRUE(r.options.optionArgs.empty());
    EXPECT_EQ(Parse({"--no-keep-date", "--keep-date", "a"}).options.keepDate, true);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--existing", "ask", "a.heic"},
             {"--existing", "Skip", "a.heic"},
             {"a.heic", "--existing"},
             {"a.heic", "--retry-from"},
             {"--retry-from", "", "a.heic"},
         }) {
        EXPECT_FALSE(Parse(args).ok) << ::testing::PrintToString(args);
    }
}

TEST(CliOptions, MoreJobsThanTheEngineRunsAreReducedNotRefused) {
    const CliParseResult r = Parse({"-j", "8", "a.heic"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.jobs, kMaxJobs);
    EXPECT_TRUE(r.options.jobsClamped);
    EXPECT_FALSE(Parse({"-j", "3", "a.heic"}).options.jobsClamped);
}

TEST(CliOptions, ConvertModeRefusesBadUsage) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"-f", "gif", "a.heic"},
             {"-f", "JPG", "a.heic"},
             {"-f"},
             {"-q", "101", "a.heic"},
             {"-q", "9", "a.heic"},
             {"-q", "9x", "a.heic"},
             {"-q", "-5", "a.heic"},
             {"-o", "", "a.heic"},
             {"-j", "0", "a.heic"},
             {"-j", "two", "a.heic"},
             {"-r"},
             {"", "a.heic"},
         }) {
        const CliParseResult r = Parse(args);
        EXPECT_FALSE(r.ok) << ::testing::PrintToString(args);
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
    const CliParseResult r = Parse({"--bogus", "a.heic"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "unknown option --bogus");
}

TEST(CliOptions, HelpNeedsNoFiles) {
    EXPECT_EQ(Parse({"--help"}).options.mode, CliOptions::Mode::kHelp);
    EXPECT_TRUE(Parse({"-h"}).ok);
}

TEST(CliOptions, LocationAndAllImagesSwitches) {
    CliParseResult r = Parse({"a.heic"});
    EXPECT_FALSE(r.options.stripLocation);
    EXPECT_FALSE(r.options.allImages);
    r = Parse({"--strip-location", "--all-images", "a.heic"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.stripLocation, true);
    EXPECT_EQ(r.options.allImages, true);
    r = Parse({"--strip-location", "--keep-location", "--all-images", "--primary-image", "a"});
    EXPECT_EQ(r.options.stripLocation, false);
    EXPECT_EQ(r.options.allImages, false);
}

} // namespace
} // namespace velquist
