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

TEST(ReplyMembers, TextOnlyFromScalars) {
    Json::Value root;
    ASSERT_TRUE(ParseJsonObject(
        "{\"s\":\"x\",\"n\":12,\"b\":true,\"z\":null,\"o\":{\"k\":1},\"a\":[\"x\"]}", &root));
    std::string out = "kept";
    EXPECT_TRUE(ReadTextMember(root, "s", &out));
    EXPECT_EQ(out, "x");
    EXPECT_TRUE(ReadTextMember(root, "n", &out));
    EXPECT_EQ(out, "12");
    EXPECT_TRUE(ReadTextMember(root, "z", &out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(ReadTextMember(root, "missing", &out));
    out = "kept";
    EXPECT_FALSE(ReadTextMember(root, "o", &out));
    EXPECT_FALSE(ReadTextMember(root, "a", &out));
    EXPECT_FALSE(ReadTextMember(root["a"], "s", &out)) << "an array has no members";
    EXPECT_EQ(out, "kept");
}

} // namespace
} // namespace velquist
