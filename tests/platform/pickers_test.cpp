#include "platform/pickers.h"
#include "platform/qt_translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace velquist {
namespace {

// Acts on the modal dialog once the picker's own event loop shows it.
template <typename Dialog> void WhenShown(std::function<void(Dialog*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start(10);
}

class PickerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        for (const char* name : {"a.heic", "b.heic", "c.txt"}) {
            QFile file(folder_.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }
    QTemporaryDir folder_;
};

TEST_F(PickerTest, OpenFilesReturnsEveryChosenExistingFile) {
    WhenShown<QFileDialog>([](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dialog->nameFilters(), QStringList{"图片 (*.heic *.heif)"});
        // The label alone, not "图片 (*.heic *.heif)" with the patterns repeated.
        EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
        dialog->selectFile(QStringLiteral("\"a.heic\" \"b.heic\""));
        static_cast<QDialog*>(dialog)->accept();
    });
    QStringList files =
        PickOpenFiles(nullptr, QStringLiteral("添加图片"), folder_.path(), "图片 (*.heic *.heif)");
    files.sort();
    EXPECT_EQ(files, (QStringList{folder_.filePath("a.heic"), folder_.filePath("b.heic")}));
}

TEST_F(PickerTest, CancelledPickersReturnNothing) {
    WhenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_TRUE(PickOpenFiles(nullptr, "t", folder_.path(), "*.heic").isEmpty());
    WhenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_TRUE(PickFolder(nullptr, "t", folder_.path()).isEmpty());
}

TEST_F(PickerTest, FolderPickerReturnsTheFolder) {
    WhenShown<QFileDialog>([this](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        dialog->selectFile(folder_.path());
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(PickFolder(nullptr, "t", folder_.path()), folder_.path());
}

TEST(QtTranslations, PickersAndStandardButtonsSpeakChinese) {
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China)));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："))
        << QCoreApplication::translate("QFileDialog", "Look in:").toStdString();
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

TEST(SystemMessageBox, ShowsTextCaptionAndIcon) {
    WhenShown<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text(), QStringLiteral("加载 d3d9.dll 失败，一些特效可能无法显示！"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("信息提示"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ShowSystemMessageBox(nullptr,
                                   QStringLiteral("加载 d3d9.dll 失败，一些特效可能无法显示！"),
                                   QStringLiteral("信息提示"), MessageIcon::kWarning),
              QMessageBox::Ok);
}

} // namespace
} // namespace velquist
