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
