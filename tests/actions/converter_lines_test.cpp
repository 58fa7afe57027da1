#include "actions/action_plan.h"
#include "actions/converter_lines.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

using Kind = ConverterLine::Kind;

// Names that a split at the first separator would cut wrongly, one that needs quoting and
// one that starts another: each line must still name its own file.
TEST(ConverterLinesTest, TellsEachLineItsFileWhateverTheNameHolds) {
    const std::vector<std::string> inputs{"/p/a -> b.heic", "/p/x: y.heic", "/p/n\nl\xff.heic",
                                          "/p/a", "/p/s.heic"};
    ConverterLines lines(inputs);
    const std::string out = "OK  /p/a -> b.heic -> /p/a -> b.jpg\n"
                            "FAILED /p/x: y.heic: cannot decode: bad: box\n"
                            "OK  $'/p/n\\nl\\377.heic' -> $'/p/n\\nl\\377.jpg'\n"
                            "STOPPED /p/s.heic\n"
                            "3 of 5 files converted in 0.4 s (7.50 files/s); 1 failed:\n"
                            "  /p/x: y.heic: cannot decode\n"
                            "FAILED /p/a: gone\n";
    // Fed in pieces that end inside lines, as a pipe delivers them.
    std::vector<ConverterLine> got;
    for (std::size_t at = 0; at < out.size(); at += 7) {
        for (ConverterLine& line : lines.Feed(std::string_view(out).substr(at, 7))) {
            got.push_back(std::move(line));
        }
    }
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].kind, Kind::kConverted);
    EXPECT_EQ(got[0].input, inputs[0]);
    EXPECT_EQ(got[0].detail, "/p/a -> b.jpg");
    EXPECT_EQ(got[1].kind, Kind::kFailed);
    EXPECT_EQ(got[1].input, inputs[1]);
    EXPECT_EQ(got[1].detail, "cannot decode: bad: box");
    EXPECT_EQ(got[2].input, inputs[2]);
    EXPECT_EQ(got[3].kind, Kind::kStopped);
    EXPECT_EQ(got[3].input, inputs[4]);
    EXPECT_EQ(got[4].input, inputs[3]);

    ConverterTally tally;
    for (const ConverterLine& line : got) {
        tally.Add(line);
    }
    EXPECT_EQ(tally.converted, 2u);
    EXPECT_EQ(tally.failed, 2u);
    EXPECT_EQ(tally.stopped, 1u);
    EXPECT_EQ(tally.Done(), 5u);
    EXPECT_EQ(tally.firstConverted, inputs[0]);
}

TEST(ConverterLinesTest, CountsLinesAboutUnknownNamesButNothingElse) {
    ConverterLines lines({"/p/a.heic"});
    EXPECT_EQ(lines.Classify("FAILED /q/other.heic: gone").kind, Kind::kFailed);
    EXPECT_TRUE(lines.Classify("FAILED /q/other.heic: gone").input.empty());
    EXPECT_EQ(lines.Classify("OK /p/a.heic -> /p/a.jpg").kind, Kind::kOther); // one space
    EXPECT_EQ(lines.Classify("To convert the 1 file not converted again, run:").kind, Kind::kOther);
    EXPECT_TRUE(lines.Feed("OK  /p/a.heic -> /p/a.jpg").empty()); // not ended yet
}

TEST(ActionArgsTest, NeedsAFormatItKnowsAndSomethingToConvert) {
    EXPECT_FALSE(ParseActionArgs({"a.heic"}).ok);
    EXPECT_FALSE(ParseActionArgs({"--format", "bmp", "a.heic"}).ok);
    EXPECT_FALSE(ParseActionArgs({"--format", "png"}).ok);
    EXPECT_FALSE(ParseActionArgs({"--format", "png", "-x.heic"}).ok);
    const ActionParse parsed = ParseActionArgs({"--format", "png", "--", "-x.heic", "d"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.request.format, "png");
    EXPECT_EQ(parsed.request.paths, (std::vector<std::string>{"-x.heic", "d"}));
}

} // namespace
} // namespace velquist
