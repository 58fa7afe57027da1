#include "validate.h"

#include <gtest/gtest.h>
#include <string>

namespace velquist::service {
namespace {

TEST(Validate, Utf8AcceptsChineseAndRejectsBrokenSequences) {
    EXPECT_TRUE(IsValidUtf8("反馈内容 ok"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));  // emoji, 4 bytes
    EXPECT_FALSE(IsValidUtf8("\xC3"));             // truncated
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong, 3 bytes
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate half
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xB0\xA1"));         // GBK bytes, not UTF-8
}

TEST(Validate, PhoneIsExactlyElevenAsciiDigits) {
    EXPECT_TRUE(IsValidPhone("13800138000"));
    EXPECT_FALSE(IsValidPhone("1380013800"));
    EXPECT_FALSE(IsValidPhone("138001380000"));
    EXPECT_FALSE(IsValidPhone("1380013800a"));
    EXPECT_FALSE(IsValidPhone(" 3800138000"));
    EXPECT_FALSE(IsValidPhone("１３８００１３８０００")); // full-width digits
}

TEST(Validate, PasswordCountsCharactersNotBytes) {
    EXPECT_FALSE(IsValidPassword(""));
    EXPECT_TRUE(IsValidPassword("a"));
    EXPECT_TRUE(IsValidPassword(std::string(32, 'x')));
    EXPECT_FALSE(IsValidPassword(std::string(33, 'x')));
    std::string chinese;
    for (int i = 0; i < 32; ++i) {
        chinese += "密";
    }
    EXPECT_TRUE(IsValidPassword(chinese)); // 96 bytes, 32 characters
    EXPECT_FALSE(IsValidPassword(chinese + "码"));
    EXPECT_FALSE(IsValidPassword(std::string("ab\0cd", 5)));
    EXPECT_FALSE(IsValidPassword("\xFF\xFE"));
}

TEST(Validate, CodeIsSixDigits) {
    EXPECT_TRUE(IsWellFormedCode("012345"));
    EXPECT_FALSE(IsWellFormedCode("12345"));
    EXPECT_FALSE(IsWellFormedCode("12345a"));
}

} // namespace
} // namespace velquist::service
