// The conversion options of the window (existing files, capture date, location, all images,
// subfolders): saved, restored, and seen in the files the conversions write.
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "convert/exif_tiff_builder.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"
#include "ui/control.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <utime.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using test::ClickButton;
using test::ControlVisible;
using test::EntryShows;
using test::SpinUntil;

ui::CControlUI* Control(CMainWnd* window, const char* name) {
    return window->FindControl(QLatin1String(name));
}

bool Checked(CMainWnd* window, const char* name) {
    return Control(window, name)->GetCheck();
}

// As the user clicks it: the change is announced.
void SetBox(CMainWnd* window, const char* name, bool on) {
    Control(window, name)->SetCheck(on, true);
}

void ChooseExisting(CMainWnd* window, int index) {
    Control(window, "existing-file")->SelectItem(index, false, true);
}

void SaveOptions(const wchar_t* existing, const wchar_t* keepDate, const wchar_t* strip,
                 const wchar_t* all, const wchar_t* subfolders) {
    WriteConfigValue(L"global", L"image-format", L"jpg");
    WriteConfigValue(L"global", L"image-exif", L"1");
    WriteConfigValue(L"global", L"existing-file", existing);
    WriteConfigValue(L"global", L"keep-date", keepDate);
    WriteConfigValue(L"global", L"image-strip-location", strip);
    WriteConfigValue(L"global", L"image-all-images", all);
    WriteConfigValue(L"global", L"include-subfolders", subfolders);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

time_t ModifiedAt(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

// How many GPS tags exiftool reads in the file; -1 without exiftool.
int GpsTags(const std::string& path) {
    if (std::system("exiftool -ver >/dev/null 2>&1") != 0) {
        return -1;
    }
    const std::string command = "exiftool -a -G1 -args -GPS:all '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    int count = 0;
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        count += std::string(line).rfind("-GPS:", 0) == 0 ? 1 : 0;
    }
    return count;
}

void RunBatch(CMainWnd* window) {
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(
        SpinUntil([&] { return ControlVisible(window, "image-convert-start-btn"); }, 90000));
}

TEST(WindowOptions, SavedChoicesComeBackAndEveryChangeIsSaved) {
    SaveOptions(L" skip ", L"0", L"1", L"1", L"1");
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Control(window, "existing-file")->GetCurSel(), 1);
    EXPECT_EQ(Control(window, "existing-file")->GetText(), QStringLiteral("跳过"));
    EXPECT_FALSE(Checked(window, "keep-date"));
    EXPECT_TRUE(Checked(window, "image-strip-location"));
    EXPECT_TRUE(Control(window, "image-strip-location")->IsEnabled());
    EXPECT_TRUE(Checked(window, "image-all-images"));
    EXPECT_TRUE(Checked(window, "include-subfolders"));

    ChooseExisting(window, 2);
    EXPECT_EQ(Control(window, "existing-file")->GetText(), QStringLiteral("保留两者"));
    EXPECT_EQ(test::SavedSetting(L"existing-file"), L"rename");
    SetBox(window, "keep-date", true);
    EXPECT_EQ(test::SavedSetting(L"keep-date"), L"1");
    SetBox(window, "image-all-images", false);
    EXPECT_EQ(test::SavedSetting(L"image-all-images"), L"0");
    SetBox(window, "include-subfolders", false);
    EXPECT_EQ(test::SavedSetting(L"include-subfolders"), L"0");
    // Without Exif there is no location to remove: the box rests, its choice stays.
    SetBox(window, "image-exif", false);
    EXPECT_FALSE(Control(window, "image-strip-location")->IsEnabled());
    EXPECT_EQ(test::SavedSetting(L"image-strip-location"), L"1");
    SetBox(window, "image-exif", true);
    EXPECT_TRUE(Control(window, "image-strip-location")->IsEnabled());
    SetBox(window, "image-strip-location", false);
    EXPECT_EQ(test::SavedSetting(L"image-strip-location"), L"0");
    test::CloseMainWindow(window);

    window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Control(window, "existing-file")->GetCurSel(), 2);
    EXPECT_TRUE(Checked(window, "keep-date"));
    EXPECT_FALSE(Checked(window, "image-strip-location"));
    EXPECT_FALSE(Checked(window, "image-all-images"));
    EXPECT_FALSE(Checked(window, "include-subfolders"));
    test::CloseMainWindow(window);

    // Nothing saved, or nothing usable: overwrite, keep the date, the rest off.
    SaveOptions(L"replace", L"", L"yes", L"", L"");
    WriteConfigValue(L"global", L"image-exif", L"0");
    window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Control(window, "existing-file")->GetText(), QStringLiteral("覆盖"));
    EXPECT_TRUE(Checked(window, "keep-date"));
    EXPECT_FALSE(Checked(window, "image-strip-location"));
    EXPECT_FALSE(Control(window, "image-strip-location")->IsEnabled());
    EXPECT_FALSE(Checked(window, "image-all-images"));
    EXPECT_FALSE(Checked(window, "include-subfolders"));
    test::CloseMainWindow(window);
}

// Local time, as a capture time without an offset is read.
time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    when.tm_isdst = -1;
    return std::mktime(&when);
}

class OptionOutputs : public ::testing::Test {
  protected:
    void SetUp() override {
        SaveOptions(L"overwrite", L"1", L"0", L"0", L"0");
        // Taken 2024-05-17 10:11:12 at a place, as MakeExifWithLocation says.
        test::HeicImageSpec located;
        located.exif = test::MakeExifWithLocation(true);
        ASSERT_EQ(test::WriteHeic(dir_.File("photo.heic"), located), "");
        // Three images and no Exif: its date is the file's own.
        ASSERT_EQ(
            test::WriteHeic(dir_.File("burst.heic"),
                            {test::HeicImageSpec{}, test::HeicImageSpec{}, test::HeicImageSpec{}}),
            "");
        const utimbuf burstTime{burstTime_, burstTime_};
        ASSERT_EQ(::utime(dir_.File("burst.heic").c_str(), &burstTime), 0);
        fs::create_directory(Out());
        std::ofstream(Out("photo.jpg")) << "the user's own file";
        window_ = test::OpenMainWindow(test::RealWorkerRunner());
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(window_->SetOutputFolder(QString::fromStdString(Out())));
        window_->AddImageFiles({QString::fromStdString(dir_.File("photo.heic")),
                                QString::fromStdString(dir_.File("burst.heic"))});
    }
    void TearDown() override {
        if (window_ != nullptr) {
            test::CloseMainWindow(window_);
        }
    }
    std::string Out(const std::string& name = {}) const {
        return name.empty() ? dir_.File("out") : dir_.File("out/" + name);
    }

    test::TempDir dir_;
    CMainWnd* window_ = nullptr;
    const time_t burstTime_ = LocalTime(2001, 2, 3, 4, 5, 6);
};

TEST_F(OptionOutputs, SkipLeavesTheOldFileAndKeepDateStampsTheInputsTime) {
    ChooseExisting(window_, 1);
    SetBox(window_, "image-strip-location", true);
    RunBatch(window_);
    EXPECT_EQ(ReadAll(Out("photo.jpg")), "the user's own file");
    // Its own look, not a waiting entry with a failure's red note, and the output that
    // was there can be previewed.
    EXPECT_TRUE(EntryShows(window_, 0, "status-skipped"));
    for (const char* part : {"status-waiting", "status-failed", "failReason"}) {
        EXPECT_FALSE(EntryShows(window_, 0, part)) << part;
    }
    EXPECT_TRUE(EntryShows(window_, 0, "preview"));
    EXPECT_TRUE(EntryShows(window_, 1, "status-sucess"));
    EXPECT_EQ(ModifiedAt(Out("burst.jpg")), burstTime_);
    EXPECT_FALSE(fs::exists(Out("burst-2.jpg"))) << "only the primary image without the option";
    EXPECT_TRUE(Control(window_, "batch-progress")
                    ->GetText()
                    .startsWith(QStringLiteral("转换完成:成功 1 张,跳过 1 张,失败 0 张")))
        << Control(window_, "batch-progress")->GetText().toStdString();
}

TEST_F(OptionOutputs, KeepBothStripLocationAndAllImagesReachTheWrittenFiles) {
    ChooseExisting(window_, 2);
    SetBox(window_, "image-strip-location", true);
    SetBox(window_, "image-all-images", true);
    RunBatch(window_);
    EXPECT_EQ(ReadAll(Out("photo.jpg")), "the user's own file");
    test::DecodedImage image;
    ASSERT_EQ(test::ReadJpeg(Out("photo (2).jpg"), &image), "");
    EXPECT_EQ(ModifiedAt(Out("photo (2).jpg")), LocalTime(2024, 5, 17, 10, 11, 12));
    const int gps = GpsTags(Out("photo (2).jpg"));
    if (gps >= 0) {
        EXPECT_EQ(gps, 0);
    }
    for (const char* name : {"burst.jpg", "burst-2.jpg", "burst-3.jpg"}) {
        EXPECT_EQ(test::ReadJpeg(Out(name), &image), "") << name;
    }

    // Overwrite, the location kept, today's date.
    ChooseExisting(window_, 0);
    SetBox(window_, "image-strip-location", false);
    SetBox(window_, "keep-date", false);
    const time_t before = std::time(nullptr);
    RunBatch(window_);
    ASSERT_EQ(test::ReadJpeg(Out("photo.jpg"), &image), "");
    EXPECT_GE(ModifiedAt(Out("photo.jpg")), before - 1);
    if (gps >= 0) {
        EXPECT_GT(GpsTags(Out("photo.jpg")), 0);
    }
    EXPECT_FALSE(fs::exists(Out("photo (3).jpg")));
}

TEST(WindowOptions, AFolderAddedWithItsSubfoldersIsMirroredAndSingleFilesStayFlat) {
    SaveOptions(L"overwrite", L"1", L"0", L"0", L"0");
    test::TempDir dir;
    for (const char* sub : {"Phone", "Phone/2023", "Phone/2023/May"}) {
        fs::create_directory(dir.File(sub));
    }
    for (const char* name : {"Phone/a.heic", "Phone/2023/c.heic", "Phone/2023/May/b.heic"}) {
        ASSERT_EQ(test::WriteHeic(dir.File(name), test::HeicImageSpec{}), "");
    }
    const std::string out = dir.File("out");
    fs::create_directory(out);
    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    const QString phone = QString::fromStdString(dir.File("Phone"));
    SetBox(window, "include-subfolders", true);
    EXPECT_EQ(test::SavedSetting(L"include-subfolders"), L"1");
    window->AddImageFolder(phone);
    window->AddImageFiles({QString::fromStdString(dir.File("Phone/2023/May/b.heic"))});
    ASSERT_TRUE(SpinUntil([&] { return window->PendingScans() == 0; }));
    ui::CControlUI* list = Control(window, "image-list");
    QStringList names;
    for (int i = 0; i < list->GetCount(); ++i) {
        names << list->GetItemAt(i)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText();
    }
    EXPECT_EQ(names, (QStringList{"a.heic", "2023/c.heic", "2023/May/b.heic", "b.heic"}));

    RunBatch(window);
    for (const char* name : {"a.jpg", "2023/c.jpg", "2023/May/b.jpg", "b.jpg"}) {
        test::DecodedImage image;
        EXPECT_EQ(test::ReadJpeg(out + "/" + name, &image), "") << name;
    }

    // Without the option a folder gives its own files only.
    SetBox(window, "include-subfolders", false);
    window->AddImageFolder(phone);
    ASSERT_TRUE(SpinUntil([&] { return window->PendingScans() == 0; }));
    ASSERT_EQ(list->GetCount(), 5);
    EXPECT_EQ(list->GetItemAt(4)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText(),
              QStringLiteral("a.heic"));
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
