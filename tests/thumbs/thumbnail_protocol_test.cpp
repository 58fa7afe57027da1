#include "thumbs/thumbnail_protocol.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace velquist::test {
namespace {

ThumbnailResult Picture(int width, int height) {
    ThumbnailResult r;
    r.ok = true;
    r.thumbnail.width = width;
    r.thumbnail.height = height;
    r.thumbnail.imageCount = 3;
    r.thumbnail.rgba.assign(static_cast<size_t>(width) * height * 4, 7);
    return r;
}

bool Parse(const std::vector<uint8_t>& bytes, int maxSide, ResponseHeader* header) {
    return bytes.size() >= kResponseHeaderSize &&
           ParseResponseHeader(bytes.data(), maxSide, header);
}

TEST(ThumbnailProtocol, PicturesAndFailuresTravelWhole) {
    const std::vector<uint8_t> bytes = EncodeResponse(Picture(5, 3));
    ResponseHeader header;
    ASSERT_TRUE(Parse(bytes, 96, &header));
    const ThumbnailResult back =
        MakeResult(header, std::vector<uint8_t>(bytes.begin() + kResponseHeaderSize, bytes.end()));
    EXPECT_TRUE(back.ok);
    EXPECT_EQ(back.thumbnail.width, 5);
    EXPECT_EQ(back.thumbnail.imageCount, 3);
    EXPECT_EQ(back.thumbnail.rgba, Picture(5, 3).thumbnail.rgba);

    const std::vector<uint8_t> failure =
        EncodeResponse(ThumbnailResult::Failure(std::string(10000, 'x')));
    ASSERT_TRUE(Parse(failure, 96, &header));
    EXPECT_FALSE(header.ok);
    EXPECT_EQ(header.payloadLength, kMaxFailureText); // long texts are cut, not refused
}

TEST(ThumbnailProtocol, HeadersThatDoNotAddUpAreRefused) {
    ResponseHeader header;
    EXPECT_FALSE(Parse(EncodeResponse(Picture(97, 10)), 96, &header)); // larger than asked
    std::vector<uint8_t> bytes = EncodeResponse(Picture(4, 4));
    bytes[0] = 'X';
    EXPECT_FALSE(Parse(bytes, 96, &header));
    bytes = EncodeResponse(Picture(4, 4));
    bytes[20] ^= 1; // payload length no longer width * height * 4
    EXPECT_FALSE(Parse(bytes, 96, &header));
    bytes = EncodeResponse(Picture(4, 4));
    bytes[4] = 7; // unknown status
    EXPECT_FALSE(Parse(bytes, 96, &header));
    bytes = EncodeResponse(ThumbnailResult::Failure("no"));
    bytes[12] = 1; // a failure with a size
    EXPECT_FALSE(Parse(bytes, 96, &header));
}

// Runs the serving loop on a pipe pair with the given request bytes.
int Serve(const std::vector<uint8_t>& input, std::vector<uint8_t>* output) {
    int in[2];
    int out[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(in[1]);
    const int code = ServeThumbnailRequests(in[0], out[1], [](const ThumbnailRequest& request) {
        return request.path == "good" ? Picture(request.maxSide, 1)
                                      : ThumbnailResult::Failure("bad: " + request.path);
    });
    ::close(in[0]);
    ::close(out[1]);
    uint8_t buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        output->insert(output->end(), buffer, buffer + n);
    }
    ::close(out[0]);
    return code;
}

TEST(ThumbnailProtocol, WorkerLoopAnswersInTurnAndStopsOnBrokenRequests) {
    std::vector<uint8_t> input = EncodeRequest({8, "good"});
    const std::vector<uint8_t> second = EncodeRequest({8, std::string("x\n\xff", 3)});
    input.insert(input.end(), second.begin(), second.end());
    std::vector<uint8_t> output;
    EXPECT_EQ(Serve(input, &output), 0);
    ResponseHeader header;
    ASSERT_TRUE(Parse(output, 8, &header));
    EXPECT_TRUE(header.ok);
    const std::vector<uint8_t> rest(output.begin() + kResponseHeaderSize + 32, output.end());
    ASSERT_TRUE(Parse(rest, 8, &header));
    EXPECT_FALSE(header.ok);
    EXPECT_EQ(std::string(rest.begin() + kResponseHeaderSize, rest.end()),
              std::string("bad: x\n\xff", 8));

    output.clear();
    EXPECT_EQ(Serve(EncodeRequest({0, "good"}), &output), 2);           // no size asked for
    EXPECT_EQ(Serve({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}, &output), 2); // 2 GB path
    std::vector<uint8_t> cut = EncodeRequest({8, "good"});
    cut.pop_back();
    EXPECT_EQ(Serve(cut, &output), 2);
    EXPECT_TRUE(output.empty());
}

} // namespace
} // namespace velquist::test
