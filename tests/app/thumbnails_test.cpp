// Pictures of the photos in the list, made by the real thumbnail worker.
#include "app/list_thumbnails.h"
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "support/heic_fixture.h"
#include "support/temp_dir.h"
#include "ui/list_model.h"
#include "ui/template_list.h"

#include <QScrollBar>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;

ui::RowPart* Part(CMainWnd* window, int id, const char* name) {
    ui::CControlUI* entry = window->FindControl(QStringLiteral("item-%1").arg(id));
    return entry != nullptr ? dynamic_cast<ui::RowPart*>(entry->FindSubControl(QLatin1String(name)))
                            : nullptr;
}

bool HasPicture(CMainWnd* window, int id) {
    ui::RowPart* part = Part(window, id, ListThumbnails::kPicturePart);
    return part != nullptr && part->Image() != nullptr;
}

// Every entry the list shows has its picture.
bool ScreenHasPictures(ui::TemplateListView* view) {
    int first = 0;
    int last = -1;
    if (!view->VisibleRows(&first, &last)) {
        return false;
    }
    for (int row = first; row <= last; ++row) {
        auto* part = dynamic_cast<ui::RowPart*>(
            view->Model()->At(row)->FindSubControl(QLatin1String(ListThumbnails::kPicturePart)));
        if (part == nullptr || part->Image() == nullptr) {
            return false;
        }
    }
    return true;
}

// The colour at the centre of the entry's picture.
QColor CentreOf(CMainWnd* window, int id) {
    const QImage image = Part(window, id, ListThumbnails::kPicturePart)->Image()->toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

class ThumbnailsTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (window_ != nullptr) {
            test::CloseMainWindow(window_);
        }
    }
    CMainWnd* Open() {
        window_ = test::OpenMainWindow();
        return window_;
    }

    test::TempDir dir_;
    CMainWnd* window_ = nullptr;
};

TEST_F(ThumbnailsTest, PhotosShowTheirPictureBrokenFilesAMarkAndImageCounts) {
    test::HeicImageSpec one;
    one.width = 128;
    one.height = 96;
    ASSERT_EQ(test::WriteHeic(dir_.File("one.heic"), one), "");
    ASSERT_EQ(test::WriteHeic(dir_.File("burst.heic"), {one, one, one}), "");
    std::ofstream(dir_.File("broken.heic")) << "not a picture";

    CMainWnd* window = Open();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->Thumbnails(), nullptr) << "velquist-thumbnailer is not beside the tests";
    window->AddImageFiles({QString::fromStdString(dir_.File("one.heic")),
                           QString::fromStdString(dir_.File("burst.heic")),
                           QString::fromStdString(dir_.File("broken.heic"))});
    ASSERT_TRUE(test::SpinUntil(
        [&] { return HasPicture(window, 0) && HasPicture(window, 1) && HasPicture(window, 2); }));

    // The fixture's top-left quadrant is the colour seen near the picture's top left;
    // the broken file's mark is not a photo of it.
    const QImage photo = Part(window, 0, ListThumbnails::kPicturePart)->Image()->toImage();
    const test::Rgb expected = test::QuadrantColor(test::kTopLeft);
    const QColor topLeft = photo.pixelColor(photo.width() / 4, photo.height() / 2 - 5);
    EXPECT_NEAR(topLeft.red(), expected.r, 24);
    EXPECT_NEAR(topLeft.green(), expected.g, 24);
    EXPECT_NEAR(topLeft.blue(), expected.b, 24);
    const QImage broken = Part(window, 2, ListThumbnails::kPicturePart)->Image()->toImage();
    EXPECT_EQ(broken, ListThumbnails::BrokenMark(broken.width() / broken.devicePixelRatio(),
                                                 broken.devicePixelRatio())
                          .toImage());
    EXPECT_NE(CentreOf(window, 0), CentreOf(window, 2));

    ui::RowPart* count = Part(window, 1, ListThumbnails::kCountPart);
    ASSERT_NE(count, nullptr);
    EXPECT_TRUE(count->IsVisible());
    EXPECT_EQ(count->GetText(), QStringLiteral("3 张"));
    EXPECT_FALSE(Part(window, 0, ListThumbnails::kCountPart)->IsVisible());
}

TEST_F(ThumbnailsTest, OnlyEntriesNearTheScreenGetPicturesAndFarOnesLetThemGo) {
    ASSERT_EQ(test::WriteHeic(dir_.File("seed.heic"), test::HeicImageSpec{}), "");
    const int entries = 700;
    QStringList files;
    for (int i = 0; i < entries; ++i) {
        const std::string name = dir_.File("IMG_" + std::to_string(1000 + i) + ".heic");
        fs::copy_file(dir_.File("seed.heic"), name);
        files << QString::fromStdString(name);
    }
    CMainWnd* window = Open();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->Thumbnails(), nullptr);
    window->AddImageFiles(files);
    auto* view = qobject_cast<ui::TemplateListView*>(
        window->FindControl(QStringLiteral("image-list"))->GetWidget());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(test::SpinUntil([&] { return ScreenHasPictures(view); }));
    const int early = window->Thumbnails()->Received();
    EXPECT_LT(early, 100) << "pictures were made for entries far from the screen";
    EXPECT_FALSE(HasPicture(window, entries - 1));

    // Down the whole list a screen at a time, as a user pages through it.
    QScrollBar* bar = view->verticalScrollBar();
    for (int y = 0; y <= bar->maximum(); y += bar->pageStep()) {
        bar->setValue(y);
        // Each screen gets its pictures before the next, as for a reader who looks.
        ASSERT_TRUE(test::SpinUntil([&] { return ScreenHasPictures(view); }));
    }
    bar->setValue(bar->maximum());
    ASSERT_TRUE(test::SpinUntil([&] { return ScreenHasPictures(view); }));
    // Answers asked for while paging may still come in; each later look at the last screen
    // lets the far pictures go, as a user's next scroll would.
    test::SpinUntil([&] {
        bar->setValue(bar->maximum() - 1);
        bar->setValue(bar->maximum());
        return !HasPicture(window, 0) &&
               window->Thumbnails()->PicturesHeld() <= ListThumbnails::kKeptPictures + 60;
    });
    EXPECT_LE(window->Thumbnails()->PicturesHeld(), ListThumbnails::kKeptPictures + 60);
    EXPECT_FALSE(HasPicture(window, 0)) << "the first screen's pictures were kept";
}

} // namespace
} // namespace velquist
