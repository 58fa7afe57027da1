// The window under a Wayland compositor (weston), where windows get no absolute
// positions: it shows, converts and answers its boxes. Runs only when started on
// Qt's wayland platform (wayland_test.sh starts a headless weston for it).
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "support/heic_fixture.h"
#include "support/temp_dir.h"
#include "ui/control.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <filesystem>
#include <gtest/gtest.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;

bool Exposed(QWidget* widget) {
    return widget != nullptr && widget->windowHandle() != nullptr &&
           widget->windowHandle()->isExposed();
}

TEST(OnWayland, TheWindowConvertsAFileAndAnswersABox) {
    if (QGuiApplication::platformName() != QLatin1String("wayland")) {
        GTEST_SKIP() << "needs Qt's wayland platform (run through wayland_test.sh)";
    }
    test::TempDir dir;
    ASSERT_EQ(test::WriteHeic(dir.File("photo.heic"), test::HeicImageSpec{}), "");
    const std::string out = dir.File("out");
    fs::create_directory(out);

    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(test::SpinUntil([window] { return Exposed(window->GetWidget()); }));
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    window->AddImageFiles({QString::fromStdString(dir.File("photo.heic"))});
    test::ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(test::SpinUntil(
        [window] {
            return test::EntryShows(window, 0, "status-sucess") ||
                   test::EntryShows(window, 0, "status-failed");
        },
        60000));
    EXPECT_TRUE(test::EntryShows(window, 0, "status-sucess"));
    EXPECT_TRUE(fs::exists(out + "/photo.jpg"));

    // A box over the window: shown (placed by the compositor) and answered.
    test::ClickButton(window, "imageCheckBoxAll"); // nothing checked now
    {
        test::BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        test::ClickButton(window, "image-convert-start-btn");
        EXPECT_TRUE(box.Answered());
        EXPECT_EQ(box.Text(), QStringLiteral("请先勾选要转换的文件!"));
    }
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
