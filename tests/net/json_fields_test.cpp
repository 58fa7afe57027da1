#include "net/json_fields.h"
#include "net/service_envelope.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist {
namespace {

std::string Nested(int depth) {
    return std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']');
}

TEST(JsonReply, DepthIsLimitedWithoutAnException) {
    Json::Value root;
    EXPECT_TRUE(ParseJsonReply(Nested(kMaxReplyDepth - 1), &root));
    // jsoncpp throws on these; the reader must turn that into a plain refusal.
    for (int depth : {kMaxReplyDepth + 1, 1001, 5000}) {
        EXPECT_FALSE(ParseJsonReply(Nested(depth), &root)) << depth;
    }
    std::string deep_object = "{\"ret\":0,\"data\":";
    for (int i = 0; i < 2000; ++i) {
        deep_object += "{\"a\":";
    }
    EXPECT_FALSE(ParseServiceEnvelope(deep_object + "1" + std::string(2000, '}') + "}").parsed);
}

TEST(JsonReply, SizeIsCapped) {
    Json::Value root;
    const std::string head = "{\"a\":\"";
    const std::string fits(kMaxReplyBytes - head.size() - 2, 'x');
    EXPECT_TRUE(ParseJsonReply(head + fits + "\"}", &root));
    EXPECT_FALSE(ParseJsonReply(head + fits + "x\"}", &root));
}

TEST(JsonReply, OnlyStrictJsonInValidUtf8) {
    Json::Value root;
    EXPECT_TRUE(ParseJsonReply("{\"a\":\"\xe4\xb8\xad\xf0\x9f\x98\x80\"}", &root));
    const std::vector<std::string> refused = {
        "{\"a\":\"\xff\"}",             // no UTF-8 byte at all
        "{\"a\":\"\xc0\xaf\"}",         // overlong "/"
        "{\"a\":\"\xed\xa0\x80\"}",     // a surrogate, encoded
        "{\"a\":\"\xf4\x90\x80\x80\"}", // past U+10FFFF
        "{\"a\":\"\xe4\xb8\"}",         // cut short
        "{\"a\":1} x",                  // trailing text
        "{\"a\":1,\"a\":2}",            // a key twice
        "{'a':1}",
        "{\"a\":1,}",
        "// comment\n{}",
        "{\"a\":NaN}",
        "\"text\"",
        "12",
        "",
    };
    for (const std::string& text : refused) {
        EXPECT_FALSE(ParseJsonReply(text, &root)) << text;
    }
}

TEST(JsonFields, ReadersCheckTypesAndNeverThrow) {
    Json::Value root;
    ASSERT_TRUE(ParseJsonReply(R"({"s":"text","i":-7,"u":4294967296,"f":1.5,"b":true,)"
                               R"("o":{"k":1},"a":[1],"n":null,"bad":"\udc00"})",
                               &root));
    std::string text = "kept";
    std::int32_t number = 99;
    bool flag = false;
    Json::Value object;
    EXPECT_TRUE(ReadString(root, "s", &text));
    EXPECT_EQ(text, "text");
    EXPECT_TRUE(ReadInt(root, "i", &number));
    EXPECT_EQ(number, -7);
    EXPECT_TRUE(ReadBool(root, "b", &flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(ReadObject(root, "o", &object));
    EXPECT_EQ(object["k"].asInt(), 1);

    text = "kept";
    number = 99;
    for (const char* key : {"i", "f", "b", "o", "a", "n", "missing", "bad"}) {
        EXPECT_FALSE(ReadString(root, key, &text)) << key;
    }
    for (const char* key : {"s", "u", "f", "b", "o", "a", "n", "missing"}) {
        EXPECT_FALSE(ReadInt(root, key, &number)) << key;
    }
    EXPECT_FALSE(ReadBool(root, "i", &flag));
    EXPECT_FALSE(ReadObject(root, "a", &object));
    EXPECT_EQ(text, "kept") << "untouched on failure";
    EXPECT_EQ(number, 99);

    // Asking a non-object for a member is where jsoncpp's own operator[] throws.
    for (const char* member : {"a", "s", "i", "n"}) {
        EXPECT_FALSE(ReadString(root[member], "x", &text)) << member;
        EXPECT_FALSE(ReadInt(root[member], "x", &number)) << member;
        EXPECT_TRUE(MemberOf(root[member], "x").isNull()) << member;
    }
}

} // namespace
} // namespace velquist
