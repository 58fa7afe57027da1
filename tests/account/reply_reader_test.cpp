#include "account/reply_reader.h"

#include <gtest/gtest.h>
#include <string>

namespace velquist {
namespace {

std::string Nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(ReplyNesting, CountsOnlyBracketsOutsideStrings) {
    EXPECT_TRUE(NestingWithin(Nested(3), 3));
    EXPECT_FALSE(NestingWithin(Nested(4), 3));
    EXPECT_TRUE(NestingWithin("[[],[1],{\"a\":1}]", 2)) << "siblings do not add up";
    EXPECT_TRUE(NestingWithin("{\"a\":\"[[[[{{{{\"}", 1));
    // An escaped quote does not end the string, an escaped backslash does not hide the end.
    EXPECT_TRUE(NestingWithin("{\"a\":\"\\\"[[[[\"}", 1));
    EXPECT_FALSE(NestingWithin("{\"a\":\"\\\\\",\"b\":[[]]}", 2));
    EXPECT_TRUE(NestingWithin("]]]]{}", 1)) << "stray closers do not lend depth";
}

TEST(ReplyNesting, DeepRepliesAreUnparsableInsteadOfThrowing) {
    EXPECT_FALSE(ReadServiceReply("{\"ret\":0,\"data\":" + Nested(100000) + "}").parsed);
    EXPECT_TRUE(ReadServiceReply("{\"ret\":0,\"data\":" + Nested(10) + "}").Succeeded());
    Json::Value root;
    EXPECT_FALSE(ParseJsonObject("{\"a\":" + Nested(kReplyDepthLimit) + "}", &root));
    EXPECT_FALSE(ParseJsonObject("[1]", &root));
    ASSERT_TRUE(ParseJsonObject("{\"a\":" + Nested(kReplyDepthLimit - 1) + "}", &root));
    EXPECT_TRUE(root["a"].isArray());
}

} // namespace
} // namespace velquist
