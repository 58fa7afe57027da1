#include "tasks/conversion_request.h"
#include "tasks/worker_protocol.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

ConvertTask FullTask() {
    ConvertTask task{"/in/a\nb\xFF c.heic", "/out/a b.png", {OutputFormat::kPng, 1, false, {}}, 7};
    task.settings.stripLocation = true;
    task.settings.allImages = true;
    task.settings.maxSize = 65500;
    task.imageOutputs = 3;
    task.replaceExisting = false;
    task.decodeThreads = 0;
    task.timeLimit = std::chrono::milliseconds(123456);
    task.memoryEstimate = std::uint64_t{5} << 30;
    HeifHeader header;
    header.parsed = true;
    header.width = 4294967295u;
    header.height = 3;
    header.bitDepth = 10;
    header.isGrid = true;
    header.gridRows = 256;
    header.gridColumns = 2;
    header.tileCount = 512;
    header.tileWidth = 512;
    header.tileHeight = 1;
    header.imageCount = 4;
    header.largestPixels = std::uint64_t{1} << 40;
    header.largestBitDepth = 12;
    header.anyAlpha = true;
    task.header = header;
    return task;
}

std::optional<ConvertTask> Decode(const std::vector<std::string>& fields) {
    std::string error;
    std::optional<ConvertTask> task = DecodeConversionRequest(fields, &error);
    EXPECT_EQ(task.has_value(), error.empty()) << error;
    return task;
}

TEST(ConversionRequest, EveryFieldSurvivesTheRecordFraming) {
    for (const bool withHeader : {true, false}) {
        ConvertTask sent = FullTask();
        if (!withHeader) {
            sent.header.reset();
            sent.decodeThreads = kLibheifDecodeThreads;
        }
        RecordReader reader;
        const std::string bytes = EncodeConversionRequest(sent);
        reader.Feed(bytes.data(), bytes.size());
        const auto fields = reader.Take();
        ASSERT_TRUE(fields);
        const std::optional<ConvertTask> got = Decode(*fields);
        ASSERT_TRUE(got);
        EXPECT_EQ(ConversionRequestFields(*got), ConversionRequestFields(sent));
        EXPECT_EQ(got->inputPath, sent.inputPath);
        EXPECT_EQ(got->header.has_value(), withHeader);
        EXPECT_EQ(got->decodeThreads, sent.decodeThreads);
        EXPECT_TRUE(got->settings.allImages);
    }
}

// Every image of the file goes as far as the names reserved, or the most ever written.
TEST(ConversionRequest, ImagesFollowTheAllImagesChoice) {
    ConvertTask task;
    EXPECT_EQ(ConversionRequestFields(task)[6], "0");
    task.imageOutputs = 10;
    EXPECT_EQ(ConversionRequestFields(task)[6], "0") << "the primary only without allImages";
    task.settings.allImages = true;
    EXPECT_EQ(ConversionRequestFields(task)[6], "10");
    task.imageOutputs = 0;
    EXPECT_EQ(ConversionRequestFields(task)[6], "256");
}

TEST(ConversionRequest, ABrokenRuleRefusesTheWholeRequestWithItsReason) {
    // field index, the value put there, what the refusal says
    const struct {
        std::size_t field;
        std::string value;
        std::string reason;
    } cases[] = {
        {0, "2", "unknown version"},
        {1, "webp", "unknown output format: webp"},
        {2, "0", "quality must be a number from 1 to 100"},
        {2, "101", "quality"},
        {2, "9x", "quality"},
        {2, "", "quality"},
        {2, "+9", "quality"},
        {3, "2", "keep Exif must be 0 or 1"},
        {4, "yes", "strip location must be 0 or 1"},
        {5, "65501", "max size"},
        {6, "257", "images must be a number from 0 to 256"},
        {6, "-1", "images"},
        {7, "01", "replace must be 0 or 1"},
        {8, "-2", "decode threads must be a number from -1 to 256"},
        {8, "257", "decode threads"},
        {9, "-1", "time limit"},
        {9, "86400001", "time limit"},
        {10, "4503599627370497", "memory estimate"},
        {11, "2", "header known"},
        {13, "4294967296", "header width"},
        {17, "2", "header grid must be 0 or 1"},
        {18, "257", "grid rows"},
        {23, "65537", "image count"},
        {24, "18446744073709551616", "largest pixels"},
        {25, "256", "largest bit depth"},
        {27, "", "input must be a path of 1 to 4096 bytes without NUL"},
        {28, std::string("out\0.png", 8), "output must be a path"},
        {28, std::string(4097, 'x'), "output must be a path"},
    };
    const std::vector<std::string> good = ConversionRequestFields(FullTask());
    ASSERT_EQ(good.size(), kRequestFields);
    for (const auto& c : cases) {
        std::vector<std::string> fields = good;
        fields[c.field] = c.value;
        std::string error;
        EXPECT_FALSE(DecodeConversionRequest(fields, &error)) << c.field << " " << c.value;
        EXPECT_NE(error.find("invalid request: " + c.reason), std::string::npos)
            << c.field << ": " << error;
    }
    for (const std::size_t count : {std::size_t{0}, kRequestFields - 1, kRequestFields + 1}) {
        std::vector<std::string> fields = good;
        fields.resize(count, "1");
        std::string error;
        EXPECT_FALSE(DecodeConversionRequest(fields, &error)) << count;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
} // namespace velquist
