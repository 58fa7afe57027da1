#include "util/shown_name.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

TEST(QuotedName, PlainNamesStayAsTheyAre) {
    for (const char* name : {"IMG_0001.heic", "photos/2024 May/a b.heic", "照片.heic",
                             "back\\slash.heic", "emoji \xF0\x9F\x93\xB7.heic"}) {
        EXPECT_EQ(QuotedName(name), name);
    }
}

TEST(QuotedName, ControlsQuotesAndStrayBytesTakeTheDollarForm) {
    EXPECT_EQ(QuotedName("a\nOK  forged.heic -> forged.jpg"),
              "$'a\\nOK  forged.heic -> forged.jpg'");
    EXPECT_EQ(QuotedName("x\x1b]0;title\x07.heic"), "$'x\\033]0;title\\007.heic'");
    EXPECT_EQ(QuotedName("tab\there\r.heic"), "$'tab\\there\\015.heic'");
    EXPECT_EQ(QuotedName("it's.heic"), "$'it\\'s.heic'");
    EXPECT_EQ(QuotedName("it's\\n.heic"), "$'it\\'s\\\\n.heic'");
    EXPECT_EQ(QuotedName("del\x7f"), "$'del\\177'");
    // C1 controls in UTF-8, a stray byte, a cut sequence, an overlong slash, a surrogate.
    EXPECT_EQ(QuotedName("csi\xC2\x9B"), "$'csi\\302\\233'");
    EXPECT_EQ(QuotedName("bad\xff.heic"), "$'bad\\377.heic'");
    EXPECT_EQ(QuotedName("cut\xE7\x85"), "$'cut\\347\\205'");
    EXPECT_EQ(QuotedName("\xC0\xAF"), "$'\\300\\257'");
    EXPECT_EQ(QuotedName("\xED\xA0\x80"), "$'\\355\\240\\200'");
    EXPECT_EQ(QuotedName(std::string_view("nul\0x", 5)), "$'nul\\000x'");
}

TEST(QuotedName, ReasonsKeepTheirWordsAndLoseTheirControls) {
    EXPECT_EQ(EscapedControls("Can't open a\nb.jpg: No space"), "Can't open a\\nb.jpg: No space");
    EXPECT_EQ(EscapedControls("plain reason"), "plain reason");
}

TEST(VisibleControls, ControlsBecomeSymbols) {
    EXPECT_EQ(VisibleControls(L"a\nb\x1b[31m\x7f\x85.heic"),
              L"a\u240Ab\u241B[31m\u2421\uFFFD.heic");
    EXPECT_EQ(VisibleControls(L"照片 \xDCFF.heic"), L"照片 \xDCFF.heic")
        << "lone units are not ours";
}

} // namespace
} // namespace velquist
