#include "platform/shell_open.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist {
namespace {

class RecordingOpener : public UrlOpener {
  public:
    bool Open(const QUrl& url) override {
        opened.push_back(url);
        return answer;
    }
    std::vector<QUrl> opened;
    bool answer = true;
};

class ShellOpenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        SetUrlOpener(&opener_);
    }
    void TearDown() override { SetUrlOpener(nullptr); }

    QString MakeFile(const QString& name) {
        const QString path = folder_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }

    QTemporaryDir folder_;
    RecordingOpener opener_;
};

TEST_F(ShellOpenTest, ExistingFilesAndFoldersOpenAsLocalUrls) {
    const QString file = MakeFile(QStringLiteral("照片 1.jpg"));
    EXPECT_TRUE(ShellOpen(file));
    EXPECT_TRUE(ShellOpen(folder_.path()));
    ASSERT_EQ(opener_.opened.size(), 2u);
    EXPECT_EQ(opener_.opened[0], QUrl::fromLocalFile(file));
    EXPECT_EQ(opener_.opened[1].toLocalFile(), folder_.path());
}

// Run from the folder, so that the relative name must become the absolute one.
TEST_F(ShellOpenTest, PathsByTheirBytesOpenAsThoseBytesAndMissingOnesFail) {
    const std::string name = "out\xff.jpg";
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    const std::string folder = std::filesystem::current_path().native();
    std::ofstream(name) << "x";
    EXPECT_TRUE(ShellOpenPath(name));
    EXPECT_FALSE(ShellOpenPath("gone\xff.jpg"));
    EXPECT_FALSE(ShellOpenPath(""));
    QDir::setCurrent(before);
    ASSERT_EQ(opener_.opened.size(), 1u);
    EXPECT_EQ(QByteArray::fromPercentEncoding(opener_.opened[0].toEncoded()).toStdString(),
              "file://" + folder + "/" + name);
}

TEST_F(ShellOpenTest, MissingFileFailsWithoutStartingAnything) {
    EXPECT_FALSE(ShellOpen(folder_.filePath("gone.jpg")));
    EXPECT_FALSE(ShellOpen(QUrl::fromLocalFile(folder_.filePath("gone.jpg")).toString()));
    EXPECT_FALSE(ShellOpen(QString()));
    EXPECT_TRUE(opener_.opened.empty());
}

TEST_F(ShellOpenTest, WebAddressesPassThroughAndFailuresAreReported) {
    EXPECT_TRUE(ShellOpen(QStringLiteral("https://example.com/help")));
    ASSERT_EQ(opener_.opened.size(), 1u);
    EXPECT_EQ(opener_.opened[0], QUrl(QStringLiteral("https://example.com/help")));

    opener_.answer = false;
    EXPECT_FALSE(ShellOpen(QStringLiteral("http://127.0.0.1:8360/help/audio")));
}

TEST_F(ShellOpenTest, FileNamesWithColonsAreTreatedAsPaths) {
    const QString file = MakeFile(QStringLiteral("a:b.png"));
    QDir::setCurrent(folder_.path());
    EXPECT_TRUE(ShellOpen(QStringLiteral("a:b.png")));
    ASSERT_EQ(opener_.opened.size(), 1u);
    EXPECT_EQ(opener_.opened[0], QUrl::fromLocalFile(file));
}

} // namespace
} // namespace velquist
