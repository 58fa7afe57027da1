// The 尺寸 choice of the main window: what a typed custom long edge may be, the choice
// saved at once, read back at the next start, and the long edge of the files a batch writes.
#include "app/main_settings.h"
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"
#include "ui/control.h"
#include "ui/keyboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

namespace velquist {
namespace {

using test::SpinUntil;

ui::CControlUI* SizeCombo(CMainWnd* window) {
    return window->FindControl(QStringLiteral("image-max-size"));
}

// The last item asks for a number; this types the answer and presses the button.
class SizeTyper {
  public:
    SizeTyper(const QString& text, const char* button) {
        QObject::connect(&timer_, &QTimer::timeout, [this, text, button] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* edit = widget->findChild<QLineEdit*>(QStringLiteral("msgInput"));
                if (widget->objectName() != QLatin1String("MaxSizeDialog") ||
                    !widget->isVisible() || edit == nullptr) {
                    continue;
                }
                timer_.stop();
                shown_ = edit->text();
                edit->setText(text);
                widget->findChild<QAbstractButton*>(QLatin1String(button))->click();
                return;
            }
        });
        timer_.start(10);
    }
    // What the box offered before the answer was typed; null when it never came.
    const QString& Shown() const { return shown_; }

  private:
    QTimer timer_;
    QString shown_;
};

int ItemCount(ui::CControlUI* combo) {
    return qobject_cast<QComboBox*>(combo->GetWidget())->count();
}

TEST(SizeChoice, ATypedLongEdgeIsAWholeNumberFromOneToTheCeiling) {
    EXPECT_EQ(ParseCustomMaxSize(L" 1500 "), 1500);
    EXPECT_EQ(ParseCustomMaxSize(L"1"), 1);
    EXPECT_EQ(ParseCustomMaxSize(L"65500"), 65500);
    for (const wchar_t* bad : {L"0", L"65501", L"-20", L"12.5", L"1e3", L"", L"１２"}) {
        EXPECT_FALSE(ParseCustomMaxSize(bad)) << bad;
    }
}

TEST(SizeChoice, CustomValuesAreAskedSavedAndRefusedWhenOutOfRange) {
    WriteConfigValue(L"global", L"image-max-size", L"0");
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ui::CControlUI* combo = SizeCombo(window);
    EXPECT_EQ(combo->GetText(), QStringLiteral("原始"));
    EXPECT_EQ(combo->GetWidget()->accessibleName(), QStringLiteral("尺寸"));
    // Tab goes from the quality to the size, Shift+Tab back.
    QWidget* quality = window->FindControl(QStringLiteral("image-quality"))->GetWidget();
    EXPECT_EQ(ui::NextInVisualOrder(window->GetWidget(), quality, true), combo->GetWidget());
    EXPECT_EQ(ui::NextInVisualOrder(window->GetWidget(), combo->GetWidget(), false), quality);

    {
        SizeTyper typer(QStringLiteral(" 1500 "), "msgConfirm");
        combo->SelectItem(5, false, true);
        EXPECT_EQ(typer.Shown(), QString());
    }
    EXPECT_EQ(test::SavedSetting(L"image-max-size"), L"1500");
    EXPECT_EQ(combo->GetText(), QStringLiteral("自定义 (1500)"));
    EXPECT_EQ(ItemCount(combo), 7);

    // Refused or cancelled, the custom value stays in use and stays saved.
    for (const char* typed : {"0", "70000"}) {
        test::BoxAnswerer refusal("PromptBoxDialog", "msgConfirm");
        SizeTyper typer(QLatin1String(typed), "msgConfirm");
        combo->SelectItem(6, false, true);
        EXPECT_EQ(typer.Shown(), QStringLiteral("1500"));
        EXPECT_TRUE(refusal.Answered()) << typed;
        EXPECT_TRUE(refusal.Text().contains(QStringLiteral("65500"))) << refusal.Text().toStdString();
        EXPECT_EQ(combo->GetText(), QStringLiteral("自定义 (1500)"));
        EXPECT_EQ(test::SavedSetting(L"image-max-size"), L"1500");
    }
    {
        SizeTyper typer(QStringLiteral("900"), "msgCancel");
        combo->SelectItem(6, false, true);
        EXPECT_EQ(combo->GetText(), QStringLiteral("自定义 (1500)"));
        EXPECT_EQ(test::SavedSetting(L"image-max-size"), L"1500");
    }
    // A listed choice puts the custom item away again.
    combo->SelectItem(3, false, true);
    EXPECT_EQ(combo->GetText(), QStringLiteral("长边 1920"));
    EXPECT_EQ(test::SavedSetting(L"image-max-size"), L"1920");
    EXPECT_EQ(ItemCount(combo), 6);
    test::CloseMainWindow(window);
}

TEST(SizeChoice, SavedValuesReadBackAtStart) {
    const std::pair<const wchar_t*, const char*> saved[] = {
        {L" 2400 ", "自定义 (2400)"}, {L"2560", "长边 2560"}, {L"huge", "原始"}};
    for (const auto& [value, shown] : saved) {
        WriteConfigValue(L"global", L"image-max-size", value);
        CMainWnd* window = test::OpenMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(SizeCombo(window)->GetText(), QString::fromUtf8(shown));
        test::CloseMainWindow(window);
    }
}

TEST(SizeChoice, ABatchWritesTheLongEdgeChosenBeforeItStarted) {
    WriteConfigValue(L"global", L"image-max-size", L"0");
    WriteConfigValue(L"global", L"image-format", L"jpg");
    WriteConfigValue(L"global", L"existing-file", L"overwrite");
    test::TempDir dir;
    test::HeicImageSpec photo;
    photo.width = 1600;
    photo.height = 1200;
    ASSERT_EQ(test::WriteHeic(dir.File("photo.heic"), photo), "");
    std::filesystem::create_directory(dir.File("out"));
    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(dir.File("out"))));
    window->AddImageFiles({QString::fromStdString(dir.File("photo.heic"))});

    SizeCombo(window)->SelectItem(4, false, true);
    EXPECT_EQ(test::SavedSetting(L"image-max-size"), L"1280");
    test::ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return test::EntryShows(window, 0, "status-sucess"); }, 90000));
    test::DecodedImage image;
    ASSERT_EQ(test::ReadJpeg(dir.File("out/photo.jpg"), &image), "");
    EXPECT_EQ(image.width, 1280);
    EXPECT_EQ(image.height, 960);
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
