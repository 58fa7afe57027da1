#include "platform/path_text.h"

#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace velquist {
namespace {

const std::string kNames[] = {
    "/photos/plain.heic",
    "/photos/\xe7\x85\xa7\xe7\x89\x87.heic", // valid UTF-8 (照片)
    "/photos/\xf0\x9f\x93\xb7.heic",         // outside the BMP
    "/photos/bad\xff\xfe.heic",              // never valid in UTF-8
    "/photos/lone\x80.heic",                 // a continuation byte alone
    "/photos/over\xc0\xaf.heic",             // an overlong "/"
    "/photos/cut\xe7\x85.heic",              // a sequence cut short
    "/photos/odd %41 #?&;.heic",             // what URLs give meaning to
};

// What the desktop receives must decode to the very name: whoever opens the URL reads it
// again from its encoded form, never from Qt's decoded text.
TEST(PathText, FileUrlsCarryEveryByteSequenceBothWays) {
    for (const std::string& name : kNames) {
        const QUrl url = UrlFromPath(name);
        EXPECT_TRUE(url.isLocalFile()) << name;
        EXPECT_EQ(PathFromUrl(url), name) << name;
        EXPECT_EQ(PathFromUrl(QUrl::fromEncoded(url.toEncoded())), name) << name;
    }
    // A drop of a name that is text arrives as Qt makes the URL.
    EXPECT_EQ(PathFromUrl(QUrl::fromLocalFile(QStringLiteral("/a/照片 1.heic"))),
              "/a/\xe7\x85\xa7\xe7\x89\x87 1.heic");
    EXPECT_EQ(PathFromUrl(QUrl(QStringLiteral("https://example.com/a.heic"))), "");
    // Qt's own round trip replaces the byte; that is why the URL is built from the bytes.
    EXPECT_NE(QFile::encodeName(QFile::decodeName("x\xff.heic")).toStdString(), "x\xff.heic");
}

TEST(PathText, ShownNamesAreReadableTextAndCleaningKeepsBytes) {
    EXPECT_EQ(ShownPath("bad\xff.heic"), QStringLiteral("bad\uFFFD.heic"));
    EXPECT_EQ(ShownPath("照片.heic"), QStringLiteral("照片.heic"));
    EXPECT_EQ(ShownPath("a\nb\x1b[31m.heic"), QStringLiteral("a\u240Ab\u241B[31m.heic"));
    EXPECT_EQ(CleanPath("/w/./a\xff/../b\xfe//c.heic"), "/w/b\xfe/c.heic");
}

TEST(PathText, FoldersAreRecognisedByTheirBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string base = QFile::encodeName(dir.path()).toStdString();
    std::filesystem::create_directory(base + "/album\xff");
    EXPECT_TRUE(IsFolderPath(base + "/album\xff"));
    EXPECT_FALSE(IsFolderPath(base + "/album\xfe"));
}

} // namespace
} // namespace velquist
