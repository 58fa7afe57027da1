// Real conversions through the worker process, from the list to the files.
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"
#include "ui/control.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using test::ClickButton;
using test::ControlVisible;
using test::EntryShows;

bool Final(CMainWnd* window, int id) {
    return EntryShows(window, id, "status-sucess") || EntryShows(window, id, "status-failed");
}

TEST(ConversionFlow, BatchWithABrokenFileEndsWithResultsFilesAndRestoredSettings) {
    test::TempDir dir;
    ASSERT_EQ(test::WriteHeic(dir.File("first.heic"), test::HeicImageSpec{}), "");
    ASSERT_EQ(test::WriteHeic(dir.File("second.heic"), test::HeicImageSpec{}), "");
    std::ofstream(dir.File("broken.heic")) << "not a picture at all";
    const std::string out = dir.File("out");
    fs::create_directory(out);

    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    ui::CControlUI* format = window->FindControl(QStringLiteral("image-format"));
    format->SelectItem(1, false, true); // as the user picks "png"
    window->AddImageFiles({QString::fromStdString(dir.File("first.heic")),
                           QString::fromStdString(dir.File("broken.heic")),
                           QString::fromStdString(dir.File("second.heic"))});

    ClickButton(window, "image-convert-start-btn");
    EXPECT_TRUE(ControlVisible(window, "image-convert-processing-btn"));
    bool swappedEarly = false;
    const bool done = test::SpinUntil(
        [&] {
            const bool allFinal = Final(window, 0) && Final(window, 1) && Final(window, 2);
            if (ControlVisible(window, "image-convert-start-btn") && !allFinal) {
                swappedEarly = true;
            }
            return allFinal && ControlVisible(window, "image-convert-start-btn");
        },
        90000);
    ASSERT_TRUE(done);
    EXPECT_FALSE(swappedEarly);
    EXPECT_FALSE(ControlVisible(window, "image-convert-processing-btn"));

    EXPECT_TRUE(EntryShows(window, 1, "status-failed"));
    // Why it failed: in the window's words in a line of its own, the worker's in full on the
    // status as a tool tip.
    ui::CControlUI* broken = window->FindControl(QStringLiteral("item-1"));
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->FindSubControl(QStringLiteral("failReason"))->GetText(),
              QStringLiteral("不是有效的 HEIC 图片"));
    EXPECT_TRUE(EntryShows(window, 1, "failReason"));
    EXPECT_TRUE(broken->FindSubControl(QStringLiteral("status-failed"))
                    ->GetToolTip()
                    .startsWith(QStringLiteral("Could not read HEIF file")))
        << broken->FindSubControl(QStringLiteral("status-failed"))->GetToolTip().toStdString();
    EXPECT_FALSE(EntryShows(window, 0, "failReason"));
    // The summary in the progress line, with the way to the results.
    ui::CControlUI* progress = window->FindControl(QStringLiteral("batch-progress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(
        progress->GetText().startsWith(QStringLiteral("转换完成:成功 2 张,失败 1 张,用时 ")))
        << progress->GetText().toStdString();
    EXPECT_TRUE(ControlVisible(window, "summary-open-dir"));
    EXPECT_FALSE(EntryShows(window, 1, "preview"));
    EXPECT_FALSE(EntryShows(window, 1, "status-processing"));
    for (int id : {0, 2}) {
        EXPECT_TRUE(EntryShows(window, id, "status-sucess")) << id;
        EXPECT_TRUE(EntryShows(window, id, "preview")) << id;
        EXPECT_FALSE(EntryShows(window, id, "status-processing")) << id;
    }
    for (const char* name : {"first.png", "second.png"}) {
        test::DecodedImage image;
        EXPECT_EQ(test::ReadPng(out + "/" + name, &image), "") << name;
        EXPECT_EQ(image.width, 64);
        EXPECT_EQ(image.height, 48);
    }
    EXPECT_FALSE(fs::exists(out + "/broken.png"));
    test::CloseMainWindow(window);

    std::wstring stored;
    ReadConfigValue(L"global", L"image-format", L"", stored);
    EXPECT_EQ(stored, L"png");
    CMainWnd* again = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->FindControl(QStringLiteral("image-format"))->GetText(), QStringLiteral("png"));
    EXPECT_EQ(again->FindControl(QStringLiteral("output-dir-path"))->GetText().toStdString(), out);
    test::CloseMainWindow(again);
}

TEST(ConversionFlow, SettingsChangedAfterTheStartApplyToTasksNotYetDispatched) {
    test::TempDir dir;
    ASSERT_EQ(test::WriteHeic(dir.File("pic.heic"), test::HeicImageSpec{}), "");
    const std::string out = dir.File("out");
    fs::create_directory(out);
    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    window->FindControl(QStringLiteral("image-format"))->SelectItem(2, false, true); // bmp
    window->AddImageFiles({QString::fromStdString(dir.File("pic.heic"))});
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(
        test::SpinUntil([&] { return ControlVisible(window, "image-convert-start-btn"); }, 90000));
    test::DecodedImage image;
    EXPECT_EQ(test::ReadBmp(out + "/pic.bmp", &image), "");
    EXPECT_EQ(image.width, 64);
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
