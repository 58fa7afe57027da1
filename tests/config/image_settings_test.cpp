#include "config/config_file.h"
#include "config/image_settings.h"
#include "temp_home.h"
#include "util/text.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velquist {
namespace {

using testing::ReadText;
using testing::TempHome;
using testing::WriteText;

TEST(ImageSettings, OnlyOneAndZeroAreChoices) {
    EXPECT_EQ(ParseSwitchValue(L"1"), true);
    EXPECT_EQ(ParseSwitchValue(L" 0\t"), false);
    for (const wchar_t* other : {L"", L"yes", L"true", L"01", L"2", L"-1"}) {
        EXPECT_EQ(ParseSwitchValue(other), std::nullopt) << WideToUtf8(other);
    }
}

TEST(ImageSettings, MaxSizeIsAWholeNumberUpToJpegsLimitAndZeroUntilSaved) {
    EXPECT_EQ(ParseMaxSize(L" 1920 "), 1920);
    EXPECT_EQ(ParseMaxSize(L"0"), 0);
    EXPECT_EQ(ParseMaxSize(L"65500"), 65500);
    for (const wchar_t* other : {L"", L"-1", L"65501", L"1920px", L"1e3", L"999999"}) {
        EXPECT_EQ(ParseMaxSize(other), std::nullopt) << WideToUtf8(other);
    }
    TempHome();
    const std::string path = WideToUtf8(GetConfigFilePath());
    std::filesystem::remove(path);
    EXPECT_EQ(ReadMaxSizeSetting(), 0);
    WriteText(path, "[global]\nimage-max-size=big\n");
    EXPECT_EQ(ReadMaxSizeSetting(), 0);
    for (const int choice : kMaxSizeChoices) {
        ASSERT_TRUE(WriteMaxSizeSetting(choice));
        EXPECT_EQ(ReadMaxSizeSetting(), choice);
    }
    EXPECT_FALSE(WriteMaxSizeSetting(-5));
    EXPECT_EQ(ReadMaxSizeSetting(), 1280) << "a refused value leaves the saved one";
}

TEST(ImageSettings, SwitchesAreOffUntilSavedAndSurviveAsOneOrZero) {
    TempHome();
    const std::string path = WideToUtf8(GetConfigFilePath());
    std::filesystem::remove(path);
    EXPECT_FALSE(ReadSwitchSetting(kStripLocationKey, false));
    EXPECT_FALSE(ReadSwitchSetting(kAllImagesKey, false));

    WriteText(path, "[global]\nimage-exif=1\nimage-strip-location=yes\n");
    EXPECT_FALSE(ReadSwitchSetting(kStripLocationKey, false)) << "no valid choice saved";
    EXPECT_TRUE(ReadSwitchSetting(kStripLocationKey, true));

    ASSERT_TRUE(WriteSwitchSetting(kStripLocationKey, true));
    ASSERT_TRUE(WriteSwitchSetting(kAllImagesKey, true));
    EXPECT_TRUE(ReadSwitchSetting(kStripLocationKey, false));
    EXPECT_TRUE(ReadSwitchSetting(kAllImagesKey, false));
    ASSERT_TRUE(WriteSwitchSetting(kAllImagesKey, false));
    EXPECT_FALSE(ReadSwitchSetting(kAllImagesKey, true));
    EXPECT_EQ(ReadText(path),
              "[global]\nimage-exif=1\nimage-strip-location=1\nimage-all-images=0\n");
    std::filesystem::remove(path);
}

} // namespace
} // namespace velquist
