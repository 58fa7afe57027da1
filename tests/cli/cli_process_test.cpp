#include "cli_test_util.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquist::test {
namespace {

TEST(CliProcess, WorkerModeReportsThroughStreamsAndExitCode) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    ASSERT_EQ(WriteHeic(good, HeicImageSpec()), "");
    const std::string out = dir.File("any-name.bin");
    ProcessResult r = RunWorker(dir, WorkerRequest(OutputFormat::kBmp, good, out));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Written to " + out + "\n");
    EXPECT_EQ(r.err, "");
    DecodedImage image;
    EXPECT_EQ(ReadBmp(out, &image), "");

    r = RunWorker(dir, WorkerRequest(OutputFormat::kJpg, dir.File("none.heic"), out));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Could not read HEIF file: ", 0), 0u) << r.err;

    std::vector<std::string> webp = WorkerRequest(OutputFormat::kJpg, good, out);
    webp[1] = "webp";
    r = RunWorker(dir, webp);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "invalid request: unknown output format: webp\n");

    r = RunWorker(dir, {"1", "jpg"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "invalid request: expected 29 fields, got 2")) << r.err;
}

// A quality outside its range is refused, by -q and in a request alike, never quietly made
// the default.
TEST(CliProcess, QualityOutsideItsRangeIsRefused) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    ASSERT_EQ(WriteHeic(good, HeicImageSpec()), "");
    for (const char* quality : {"-5", "101"}) {
        EXPECT_EQ(RunConverter(dir, {"-q", quality, good}).exitCode, 2) << quality;
        std::vector<std::string> request = WorkerRequest(OutputFormat::kJpg, good, good + ".jpg");
        request[2] = quality;
        const ProcessResult r = RunWorker(dir, request);
        EXPECT_EQ(r.exitCode, 1) << quality;
        EXPECT_TRUE(Has(r.err, "invalid request: quality must be a number from 1 to 100")) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(good + ".jpg"));
}

// libavcodec is loaded with the first picture; where it cannot be (missing, or not a
// library at all), libde265 decodes the photo, as it would alone, and one line says why.
TEST(CliProcess, LibavcodecThatCannotBeLoadedLeavesTheDecodingToLibde265WithOneLine) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    HeicImageSpec spec;
    spec.width = 300;
    spec.height = 200;
    ASSERT_EQ(WriteHeic(good, spec), "");
    const auto convert = [&](const std::string& out, const Env& env) {
        return RunWorker(dir, WorkerRequest(OutputFormat::kBmp, good, out), 0, env);
    };
    const ProcessResult baseline =
        convert(dir.File("libde265.bmp"), {{"VELQUIST_HEVC_DECODER", "libde265"}});
    ASSERT_EQ(baseline.exitCode, 0) << baseline.err;
    WriteText(dir.File("not-a-library.so"), "text");
    for (const std::string& library :
         {dir.File("missing/libavcodec.so"), dir.File("not-a-library.so")}) {
        SCOPED_TRACE(library);
        const std::string out = dir.File("fallback.bmp");
        const ProcessResult r = convert(out, {{"VELQUIST_AVCODEC_LIBRARY", library}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(LineCount(r.err), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("libavcodec could not be loaded (", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("); HEVC decoded with libde265\n"), std::string::npos) << r.err;
        EXPECT_EQ(ReadText(out), ReadText(dir.File("libde265.bmp")));
    }
}

TEST(CliProcess, FullDiskKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    HeicImageSpec spec;
    spec.width = 256;
    spec.height = 256;
    ASSERT_EQ(WriteHeic(good, spec), "");
    for (const char* format : {"jpg", "png", "bmp"}) {
        SCOPED_TRACE(format);
        const std::string out = dir.File(std::string("photo.") + format);
        std::ofstream(out) << "earlier";
        const ProcessResult r =
            RunWorker(dir, WorkerRequest(*ParseOutputFormat(format), good, out), 300);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        // libjpeg flushes the stream itself and reports in its own words.
        const std::string reason = std::string(format) == "jpg"
                                       ? "Output file write error --- out of disk space?\n"
                                       : "Error writing " + out + ": File too large\n";
        // The last line, the reason a summary shows, names the system's cause too.
        EXPECT_EQ(r.err, reason + "could not write image: File too large\n");
        EXPECT_EQ(ReadText(out), "earlier");
    }
    EXPECT_EQ(EntryCount(dir.Path()), 4u) << "only the input and the three earlier files";
}

} // namespace
} // namespace velquist::test
