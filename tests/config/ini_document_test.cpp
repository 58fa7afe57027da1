#include "config/ini_document.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

TEST(IniDocument, LooksUpNamesInAnyLetterCaseAndTrimsValues) {
    const auto doc = IniDocument::Parse("; comment\r\n[Global]\r\n Output-Dir =  /a b \r\n"
                                        "[other]\nimage-format=png\n");
    EXPECT_EQ(doc.Get("global", "output-dir"), "/a b");
    EXPECT_EQ(doc.Get("GLOBAL", "OUTPUT-DIR"), "/a b");
    EXPECT_EQ(doc.Get("global", "image-format"), std::nullopt);
    EXPECT_EQ(doc.Get("other", "image-format"), "png");
    EXPECT_EQ(doc.Get("missing", "image-format"), std::nullopt);
}

TEST(IniDocument, StripsOneMatchingPairOfQuotes) {
    const auto doc = IniDocument::Parse("[s]\na=\"x y\"\nb='z'\nc=\"open\n");
    EXPECT_EQ(doc.Get("s", "a"), "x y");
    EXPECT_EQ(doc.Get("s", "b"), "z");
    EXPECT_EQ(doc.Get("s", "c"), "\"open");
}

TEST(IniDocument, SetKeepsOtherSectionsKeysCommentsAndOrder) {
    auto doc = IniDocument::Parse("; top\n[global]\nimage-format=jpg\nimage-quality=90\n\n"
                                  "[other]\nx=1\n");
    ASSERT_TRUE(doc.Set("GLOBAL", "Image-Format", "png"));
    ASSERT_TRUE(doc.Set("global", "image-exif", "0"));
    ASSERT_TRUE(doc.Set("other", "y", "2"));
    EXPECT_EQ(doc.Serialize(), "; top\n[global]\nimage-format=png\nimage-quality=90\n"
                               "image-exif=0\n\n[other]\nx=1\ny=2\n");
}

TEST(IniDocument, SetAppendsMissingSection) {
    auto doc = IniDocument::Parse("");
    ASSERT_TRUE(doc.Set("global", "output-dir", "/p"));
    ASSERT_TRUE(doc.Set("second", "k", "v"));
    EXPECT_EQ(doc.Serialize(), "[global]\noutput-dir=/p\n[second]\nk=v\n");
    EXPECT_EQ(IniDocument::Parse(doc.Serialize()).Get("second", "k"), "v");
}

TEST(IniDocument, RefusesWhatWouldBreakTheFileStructure) {
    auto doc = IniDocument::Parse("[global]\na=1\n");
    EXPECT_FALSE(doc.Set("global", "a", "1\n[evil]\nb=2"));
    EXPECT_FALSE(doc.Set("global", "a=b", "1"));
    EXPECT_FALSE(doc.Set("glo]bal", "a", "1"));
    EXPECT_FALSE(doc.Set("global", "  ", "1"));
    EXPECT_EQ(doc.Serialize(), "[global]\na=1\n");
}

} // namespace
} // namespace velquist
