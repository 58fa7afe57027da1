// The decoding threads a conversion is given reach libheif: none keeps every tile on the
// conversion's own thread, some move them to libheif's threads.
#include "convert/convert_task.h"
#include "decode/hevc_decoder.h"
#include "decode/hevc_decoder_testing.h"
#include "real_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace velquist::test {
namespace {

// Converts the photo (a grid of tiles) with the given threads; the thread that decoded
// its last tile.
long DecodingThread(const std::string& photo, int threads, const TempDir& dir) {
    ConvertTask task;
    task.inputPath = photo;
    task.outputPath = dir.File("out-" + std::to_string(threads) + ".bmp");
    task.settings.format = OutputFormat::kBmp;
    task.decodeThreads = threads;
    const ConversionOutcome outcome = RunConversion(task, false);
    EXPECT_EQ(outcome.status, kTaskSucceeded) << outcome.diagnostics;
    return LastHevcDecodeThread();
}

TEST(DecodeThreads, NoneDecodesOnTheConversionsThreadSomeOnLibheifs) {
    VELQUIST_REQUIRE_REAL_FILES();
    RegisterHevcDecoder();
    const std::string photo = RealFile("mde_IMG_1034.heic");
    TempDir dir;
    const long own = static_cast<long>(::gettid());
    EXPECT_EQ(DecodingThread(photo, 0, dir), own);
    EXPECT_NE(DecodingThread(photo, 2, dir), own);
    EXPECT_EQ(DecodingThread(photo, 0, dir), own) << "the setting holds per conversion";
}

} // namespace
} // namespace velquist::test
