#include "platform/path_text.h"
#include "util/text.h"

#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace velquist {
namespace {

TEST(PathText, EveryByteSequenceComesBackUnchanged) {
    const std::string names[] = {
        "/photos/plain.heic",
        "/photos/\xe7\x85\xa7\xe7\x89\x87.heic", // valid UTF-8 (照片)
        "/photos/\xf0\x9f\x93\xb7.heic",         // outside the BMP: a surrogate pair in Qt
        "/photos/bad\xff\xfe.heic",              // never valid in UTF-8
        "/photos/lone\x80.heic",                 // a continuation byte alone
        "/photos/over\xc0\xaf.heic",             // an overlong "/"
        "/photos/cut\xe7\x85.heic",              // a sequence cut short
        "/photos/surrogate\xed\xa0\x80.heic",    // an encoded surrogate
    };
    for (const std::string& name : names) {
        const QString shown = PathBytesToQString(name);
        EXPECT_EQ(QStringToPathBytes(shown), name) << name;
        EXPECT_EQ(WideToPath(QStringToPathWide(shown)), name) << name;
        EXPECT_EQ(QStringToPathWide(shown), PathToWide(name)) << name;
    }
    // Two names that differ only in such bytes stay two names.
    EXPECT_NE(PathBytesToQString("x\xff.heic"), PathBytesToQString("x\xfe.heic"));
}

TEST(PathText, ShownNamesAreReadableText) {
    const QString shown = ShownPath(PathToWide("bad\xff.heic"));
    EXPECT_EQ(shown, QStringLiteral("bad\uFFFD.heic"));
    EXPECT_EQ(ShownPath(L"照片.heic"), QStringLiteral("照片.heic"));
    EXPECT_EQ(ShownPath(PathToWide("a\nb\x1b[31m.heic")),
              QStringLiteral("a\u240Ab\u241B[31m.heic"));
}

TEST(PathText, FoldersAreRecognisedByTheirBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string base = QFile::encodeName(dir.path()).toStdString();
    std::filesystem::create_directory(base + "/album\xff");
    EXPECT_TRUE(IsFolderPath(PathBytesToQString(base + "/album\xff")));
    EXPECT_FALSE(IsFolderPath(PathBytesToQString(base + "/album\xfe")));
}

} // namespace
} // namespace velquist
