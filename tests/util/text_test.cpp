#include "util/text.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

TEST(FormatFileSize, UsesTheUnitOfEachThreshold) {
    EXPECT_EQ(FormatFileSize(0), L"0B");
    EXPECT_EQ(FormatFileSize(-5), L"-5B");
    EXPECT_EQ(FormatFileSize(1023), L"1023B");
    EXPECT_EQ(FormatFileSize(1024), L"1KB");
    EXPECT_EQ(FormatFileSize(1536), L"1KB");
    EXPECT_EQ(FormatFileSize(1048575), L"1023KB");
    EXPECT_EQ(FormatFileSize(1048576), L"1.00M");
    EXPECT_EQ(FormatFileSize(1572864), L"1.50M");
    EXPECT_EQ(FormatFileSize(1073741824), L"1.00G");
    EXPECT_EQ(FormatFileSize(5LL << 30), L"5.00G");
}

TEST(FormatFileSize, SinglePrecisionRoundsJustBelowAGigabyteUp) {
    EXPECT_EQ(FormatFileSize(1073741823), L"1024.00M");
}

TEST(TextConversion, RoundTripsEveryPlane) {
    const std::wstring text = L"D:/图片/été 😀.heic";
    const std::string narrow = WideToAnsi(text);
    EXPECT_EQ(narrow, "D:/\xE5\x9B\xBE\xE7\x89\x87/\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.heic");
    EXPECT_EQ(WideToUtf8(text), narrow);
    EXPECT_EQ(AnsiToWide(narrow), text);
}

TEST(TextConversion, UnconvertibleInputIsReplacedNotThrown) {
    std::wstring lone;
    lone.push_back(static_cast<wchar_t>(0xD800));
    lone.push_back(L'a');
    lone.push_back(static_cast<wchar_t>(0x110000));
    EXPECT_EQ(WideToAnsi(lone), "\xEF\xBF\xBD"
                                "a"
                                "\xEF\xBF\xBD");

    // Truncated, overlong and surrogate encodings each become one replacement character.
    EXPECT_EQ(AnsiToWide("a\xE5\x9B"), L"a\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xED\xA0\x80x"), L"\uFFFD\uFFFD\uFFFDx");
}

TEST(TextConversion, StopsAtTheFirstZero) {
    EXPECT_EQ(WideToAnsi(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), L"ab");
}

TEST(SplitString, CutsAtRunsOfDelimiters) {
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(SplitString("1.0.1", "."), (Pieces{"1", "0", "1"}));
    EXPECT_EQ(SplitString("..a,,b.", ".,"), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitString("...", "."), Pieces{});
    EXPECT_EQ(SplitString("", "."), Pieces{});
    EXPECT_EQ(SplitString(nullptr, "."), Pieces{});
    EXPECT_EQ(SplitString("abc", ""), Pieces{"abc"});
}

TEST(Base64, EncodesWithPadding) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode(std::string("\xFF\x00\xFE", 3)), "/wD+");
}

TEST(Base64, DecodesWithOrWithoutPadding) {
    EXPECT_EQ(Base64Decode("Zm9vYmE="), "fooba");
    EXPECT_EQ(Base64Decode("Zm9vYmE"), "fooba");
    EXPECT_EQ(Base64Decode("Zg=="), "f");
    EXPECT_EQ(Base64Decode("Zg"), "f");
    EXPECT_EQ(Base64Decode("Z"), "");
    EXPECT_EQ(Base64Decode("/wD+"), std::string("\xFF\x00\xFE", 3));
}

TEST(Base64, StopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(Base64Decode("Zm9v\nYmFy"), "foo");
    EXPECT_EQ(Base64Decode("Zm9v=YmFy"), "foo");
}

TEST(Base64, RoundTripsAllByteValues) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    for (std::size_t cut = 0; cut < 4; ++cut) {
        const std::string part = bytes.substr(cut);
        EXPECT_EQ(Base64Decode(Base64Encode(part)), part);
    }
}

} // namespace
} // namespace velquist

namespace velquist {
namespace {

TEST(PathConversion, EveryByteStringSurvivesTheRoundTrip) {
    const std::vector<std::string> names = {
        "bad\xFF\xFE.heic",           // bytes that never occur in UTF-8
        "lone\x80.heic",              // a continuation byte without a lead
        "over\xC0\xAF.heic",          // overlong "/"
        "over\xE0\x80\xAF.heic",      // overlong three-byte form
        "surrogate\xED\xA0\x80.heic", // an encoded surrogate
        "cut\xE5\x9B.heic",           // a sequence cut short
        "图片/été 😀.heic",            // valid text stays text
    };
    for (const std::string& name : names) {
        EXPECT_EQ(WideToPath(PathToWide(name)), name) << name;
    }
    EXPECT_EQ(PathToWide("图片.heic"), L"图片.heic");
}

TEST(PathConversion, NamesDifferingOnlyInUndecodableBytesStayApart) {
    const std::wstring ff = PathToWide("x\xFF.heic");
    const std::wstring fe = PathToWide("x\xFE.heic");
    EXPECT_NE(ff, fe);
    EXPECT_EQ(ff[1], static_cast<wchar_t>(0xDCFF));
    EXPECT_EQ(fe[1], static_cast<wchar_t>(0xDCFE));
    // Shown or sent, both read as a replacement character.
    EXPECT_EQ(WideToUtf8(ff), "x\xEF\xBF\xBD.heic");
    EXPECT_EQ(WideToUtf8(fe), WideToUtf8(ff));
}

} // namespace
} // namespace velquist
