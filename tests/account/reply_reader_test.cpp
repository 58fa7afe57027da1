#include "account/reply_reader.h"

#include "net/json_fields.h"

#include <gtest/gtest.h>
#include <string>

namespace velquist {
namespace {

std::string Nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(ReplyNesting, DeepRepliesAreUnparsableInsteadOfThrowing) {
    EXPECT_FALSE(ReadServiceReply("{\"ret\":0,\"data\":" + Nested(30000) + "}").parsed);
    EXPECT_TRUE(ReadServiceReply("{\"ret\":0,\"data\":" + Nested(10) + "}").Succeeded());
    Json::Value root;
    EXPECT_FALSE(ParseJsonObject("{\"a\":" + Nested(kMaxReplyDepth + 5) + "}", &root));
    EXPECT_FALSE(ParseJsonObject("[1]", &root));
    ASSERT_TRUE(ParseJsonObject("{\"a\":" + Nested(kMaxReplyDepth - 5) + "}", &root));
    EXPECT_TRUE(root["a"].isArray());
}

TEST(ReplyNesting, WrongTypesAreRefusedInsteadOfThrowing) {
    Json::Value root;
    ASSERT_TRUE(ParseJsonObject(R"({"a":{"b":1},"n":5,"s":"x"})", &root));
    std::string text;
    EXPECT_FALSE(ReadTextMember(root, "a", &text));
    EXPECT_TRUE(ReadTextMember(root, "n", &text));
    EXPECT_EQ(text, "5");
    EXPECT_FALSE(ReadTextMember(root["s"], "x", &text)) << "a member of a string";
}

} // namespace
} // namespace velquist
