#include "net/service_envelope.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

TEST(ServiceEnvelope, RetAsIntegerOrDecimalText) {
    ServiceEnvelope number = ParseServiceEnvelope("{\"ret\":0,\"data\":{\"a\":\"b\"}}");
    EXPECT_TRUE(number.Succeeded());
    EXPECT_EQ(number.data["a"].asString(), "b");

    ServiceEnvelope text = ParseServiceEnvelope("{\"ret\":\"600003\"}");
    EXPECT_TRUE(text.parsed);
    EXPECT_EQ(text.ret, 600003);
    EXPECT_FALSE(text.Succeeded());

    ServiceEnvelope negative = ParseServiceEnvelope("{\"ret\":-1}");
    EXPECT_TRUE(negative.parsed);
    EXPECT_EQ(negative.ret, -1);
}

TEST(ServiceEnvelope, ReplyWithoutIntegerRetIsUnparsable) {
    const char* replies[] = {
        "{}",
        "{\"ret\":null}",
        "{\"ret\":true}",
        "{\"ret\":1.5}",
        "{\"ret\":[]}",
        "{\"ret\":\"\"}",
        "{\"ret\":\"0x1\"}",
        "{\"ret\":\"12abc\"}",
        "{\"ret\":\" 0\"}",
        "{\"ret\":4294967296}",
        "[0]",
        "\"ret\"",
        "",
        "<html>error</html>",
        "{\"ret\":0",
    };
    for (const char* reply : replies) {
        ServiceEnvelope envelope = ParseServiceEnvelope(reply);
        EXPECT_FALSE(envelope.parsed) << reply;
        EXPECT_FALSE(envelope.Succeeded()) << reply;
    }
}

TEST(ServiceEnvelope, DecimalIntegersFitThirtyTwoBits) {
    std::int32_t value = 0;
    EXPECT_TRUE(ParseDecimalInt("2147483647", &value));
    EXPECT_EQ(value, 2147483647);
    EXPECT_TRUE(ParseDecimalInt("-2147483648", &value));
    EXPECT_FALSE(ParseDecimalInt("2147483648", &value));
    EXPECT_FALSE(ParseDecimalInt("+1", &value));
    EXPECT_FALSE(ParseDecimalInt("1 ", &value));
    EXPECT_FALSE(ParseDecimalInt("", &value));
    EXPECT_TRUE(ReadDecimalInt(Json::Value(42u), &value));
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(ReadDecimalInt(Json::Value(2.0), &value));
}

TEST(ServiceEnvelope, StyledUtf8KeepsTheStyledLayoutAndRawBytes) {
    Json::Value value(Json::objectValue);
    value["content"] = "plain";
    value["contact"] = "x";
    EXPECT_EQ(WriteStyledUtf8(value), Json::StyledWriter().write(value));
    value["content"] = "\xe4\xb8\xad\xe6\x96\x87";
    EXPECT_NE(WriteStyledUtf8(value).find("\"\xe4\xb8\xad\xe6\x96\x87\""), std::string::npos);
}

} // namespace
} // namespace velquist
