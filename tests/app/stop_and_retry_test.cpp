// Stopping a batch from the window and converting its failed entries again, with the real
// engine and worker processes.
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"
#include "ui/control.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using test::ClickButton;
using test::ControlVisible;
using test::EntryShows;
using test::SpinUntil;

constexpr int kPhotos = 30;

QString Text(CMainWnd* window, const char* name) {
    return window->FindControl(QLatin1String(name))->GetText();
}

QString Note(CMainWnd* window, int id) {
    ui::CControlUI* entry = window->FindControl(QStringLiteral("item-%1").arg(id));
    return entry->FindSubControl(QStringLiteral("failReason"))->GetText();
}

bool Enabled(CMainWnd* window, const char* name) {
    return window->FindControl(QLatin1String(name))->IsEnabled();
}

bool BatchOver(CMainWnd* window) {
    return ControlVisible(window, "image-convert-start-btn");
}

// The longest time the GUI thread did not get back to its event loop.
class PauseMeter {
  public:
    PauseMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
        clock_.start();
        timer_.start(2);
    }
    qint64 LongestMs() const { return longest_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// Other tests of the process may have saved other choices.
void ResetConfig() {
    WriteConfigValue(L"global", L"existing-file", L"overwrite");
    WriteConfigValue(L"global", L"image-all-images", L"0");
    WriteConfigValue(L"global", L"image-format", L"jpg");
}

TEST(StopAndRetry, StopEndsTheWorkersWithoutPartialFilesAndTheBatchStartsAgain) {
    ResetConfig();
    test::TempDir dir;
    test::HeicImageSpec large;
    large.width = 2048;
    large.height = 1536;
    ASSERT_EQ(test::WriteHeic(dir.File("source.heic"), large), "");
    const std::string out = dir.File("out");
    fs::create_directory(out);
    QStringList photos;
    for (int i = 0; i < kPhotos; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo-%02d.heic", i);
        fs::copy_file(dir.File("source.heic"), dir.File(name));
        photos << QString::fromStdString(dir.File(name));
    }
    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    window->AddImageFiles(photos);

    ClickButton(window, "image-convert-start-btn");
    EXPECT_FALSE(ControlVisible(window, "image-convert-start-btn"));
    ASSERT_TRUE(ControlVisible(window, "image-convert-processing-btn"));
    EXPECT_EQ(Text(window, "image-convert-processing-btn"), QStringLiteral("停止"));
    EXPECT_TRUE(Enabled(window, "image-convert-processing-btn"));
    EXPECT_FALSE(Enabled(window, "retry-failed-btn"));
    ASSERT_TRUE(SpinUntil([&] { return test::LiveWorkerChildren() > 0; }, 30000));
    ASSERT_TRUE(SpinUntil([&] { return EntryShows(window, 0, "status-processing"); }, 30000));

    PauseMeter pauses;
    QElapsedTimer clock;
    clock.start();
    ClickButton(window, "image-convert-processing-btn");
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }, 30000));
    const qint64 batchOverMs = clock.elapsed();
    ASSERT_TRUE(SpinUntil([] { return test::LiveWorkerChildren() == 0; }, 30000));
    const qint64 workersGoneMs = clock.elapsed();
    std::printf("stop of %d photos: batch over after %lld ms, last worker gone after %lld ms, "
                "longest GUI pause %lld ms\n",
                kPhotos, static_cast<long long>(batchOverMs), static_cast<long long>(workersGoneMs),
                static_cast<long long>(pauses.LongestMs()));
    // Generous for loaded machines; a GUI thread waiting on the workers would show here.
    EXPECT_LT(pauses.LongestMs(), 1000);

    EXPECT_FALSE(ControlVisible(window, "image-convert-processing-btn"));
    EXPECT_EQ(Text(window, "image-convert-start-btn"), QStringLiteral("开始转换"));
    EXPECT_TRUE(Text(window, "batch-progress").startsWith(QStringLiteral("转换已停止:成功 ")))
        << Text(window, "batch-progress").toStdString();
    int converted = 0;
    int stopped = 0;
    for (int id = 0; id < kPhotos; ++id) {
        EXPECT_FALSE(EntryShows(window, id, "status-processing")) << id;
        EXPECT_FALSE(EntryShows(window, id, "status-failed")) << id;
        if (EntryShows(window, id, "status-sucess")) {
            ++converted;
            continue;
        }
        EXPECT_TRUE(EntryShows(window, id, "status-waiting")) << id;
        stopped += Note(window, id) == QStringLiteral("已停止") ? 1 : 0;
    }
    EXPECT_LT(converted, kPhotos);
    EXPECT_GE(stopped, 1) << "the running conversions were interrupted";
    // Only whole pictures in the output folder, one per converted entry.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        ++files;
        test::DecodedImage image;
        EXPECT_EQ(test::ReadJpeg(entry.path().string(), &image), "") << entry.path();
        EXPECT_EQ(image.width, large.width) << entry.path();
    }
    EXPECT_EQ(files, converted);

    ClickButton(window, "image-convert-start-btn");
    EXPECT_EQ(Text(window, "image-convert-processing-btn"), QStringLiteral("停止"));
    // The new run starts every entry it takes from waiting: nothing of the last run stays.
    for (int id = 0; id < kPhotos; ++id) {
        EXPECT_TRUE(EntryShows(window, id, "status-waiting")) << id;
        EXPECT_FALSE(EntryShows(window, id, "preview")) << id;
        EXPECT_FALSE(EntryShows(window, id, "failReason")) << id;
    }
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }, 240000));
    for (int id = 0; id < kPhotos; ++id) {
        EXPECT_TRUE(EntryShows(window, id, "status-sucess")) << id;
        EXPECT_TRUE(EntryShows(window, id, "preview")) << id;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), kPhotos);
    test::CloseMainWindow(window);
}

void PressKey(int key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

QWidget* WidgetOf(CMainWnd* window, const char* name) {
    return window->FindControl(QLatin1String(name))->GetWidget();
}

TEST(StopAndRetry, EnterStartsAndStopsWithTheFocusFollowingTheButton) {
    ResetConfig();
    test::TempDir dir;
    for (const char* name : {"a.heic", "b.heic", "c.heic", "d.heic"}) {
        std::ofstream(dir.File(name)) << "content";
    }
    auto gate = std::make_shared<test::GateRunner>();
    CMainWnd* window = test::OpenMainWindow(gate);
    ASSERT_NE(window, nullptr);
    window->AddImageFiles(
        {QString::fromStdString(dir.File("a.heic")), QString::fromStdString(dir.File("b.heic")),
         QString::fromStdString(dir.File("c.heic")), QString::fromStdString(dir.File("d.heic"))});
    QApplication::setActiveWindow(window->GetWidget());
    ASSERT_TRUE(SpinUntil([&] { return window->GetWidget()->isActiveWindow(); }, 2000));
    WidgetOf(window, "image-convert-start-btn")->setFocus();

    PressKey(Qt::Key_Return);
    ASSERT_TRUE(ControlVisible(window, "image-convert-processing-btn"));
    EXPECT_EQ(QApplication::focusWidget(), WidgetOf(window, "image-convert-processing-btn"));
    ASSERT_TRUE(SpinUntil([&] { return gate->Started() == 3; }, 10000));

    PressKey(Qt::Key_Return);
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }, 10000));
    EXPECT_EQ(QApplication::focusWidget(), WidgetOf(window, "image-convert-start-btn"));
    for (int id = 0; id < 3; ++id) {
        EXPECT_TRUE(EntryShows(window, id, "status-waiting")) << id;
        EXPECT_EQ(Note(window, id), QStringLiteral("已停止")) << id;
    }
    // The fourth never started: it simply waits, without a note.
    EXPECT_TRUE(EntryShows(window, 3, "status-waiting"));
    EXPECT_FALSE(EntryShows(window, 3, "failReason"));
    EXPECT_EQ(gate->Started(), 3);

    gate->Open();
    PressKey(Qt::Key_Return);
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }, 10000));
    for (int id = 0; id < 4; ++id) {
        EXPECT_TRUE(EntryShows(window, id, "status-sucess")) << id;
        EXPECT_FALSE(EntryShows(window, id, "failReason")) << id;
    }
    test::CloseMainWindow(window);
}

TEST(StopAndRetry, RetryQueuesTheFailedEntriesStillListedAndNothingElse) {
    ResetConfig();
    test::TempDir dir;
    ASSERT_EQ(test::WriteHeic(dir.File("good.heic"), test::HeicImageSpec{}), "");
    std::ofstream(dir.File("late.heic")) << "not a picture yet";
    std::ofstream(dir.File("gone.heic")) << "not a picture either";
    const std::string out = dir.File("out");
    fs::create_directory(out);
    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    window->AddImageFiles({QString::fromStdString(dir.File("good.heic")),
                           QString::fromStdString(dir.File("late.heic")),
                           QString::fromStdString(dir.File("gone.heic"))});
    EXPECT_FALSE(Enabled(window, "retry-failed-btn"));
    EXPECT_EQ(Text(window, "retry-failed-btn"), QStringLiteral("重试失败项"));

    ClickButton(window, "image-convert-start-btn");
    EXPECT_FALSE(Enabled(window, "retry-failed-btn"));
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }, 90000));
    ASSERT_TRUE(EntryShows(window, 1, "status-failed"));
    ASSERT_TRUE(EntryShows(window, 2, "status-failed"));
    EXPECT_TRUE(Enabled(window, "retry-failed-btn"));

    // The user fixes one file and removes the other entry; the good one is not run again.
    ASSERT_EQ(test::WriteHeic(dir.File("late.heic"), test::HeicImageSpec{}), "");
    fs::remove(out + "/good.jpg");
    window->FindControl(QStringLiteral("item-0"))
        ->FindSubControl(QStringLiteral("imageCheckBox"))
        ->SetCheck(false, false);
    window->FindControl(QStringLiteral("item-1"))
        ->FindSubControl(QStringLiteral("imageCheckBox"))
        ->SetCheck(false, false);
    ClickButton(window, "image-remove-all");
    ASSERT_EQ(window->FindControl(QStringLiteral("item-2")), nullptr);
    EXPECT_TRUE(Enabled(window, "retry-failed-btn"));

    ClickButton(window, "retry-failed-btn");
    ASSERT_TRUE(ControlVisible(window, "image-convert-processing-btn"));
    EXPECT_FALSE(Enabled(window, "retry-failed-btn"));
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }, 90000));
    EXPECT_TRUE(EntryShows(window, 1, "status-sucess"));
    EXPECT_TRUE(EntryShows(window, 0, "status-sucess"));
    EXPECT_TRUE(fs::exists(out + "/late.jpg"));
    EXPECT_FALSE(fs::exists(out + "/good.jpg"));
    EXPECT_FALSE(fs::exists(out + "/gone.jpg"));
    EXPECT_TRUE(
        Text(window, "batch-progress").startsWith(QStringLiteral("转换完成:成功 1 张,失败 0 张")))
        << Text(window, "batch-progress").toStdString();
    EXPECT_FALSE(Enabled(window, "retry-failed-btn"));
    test::CloseMainWindow(window);
}

TEST(StopAndRetry, AVanishedOutputFolderEndsTheBatchWithOneBoxAndTheRestWaits) {
    ResetConfig();
    test::TempDir dir;
    const std::string card = dir.File("card");
    const std::string out = card + "/out";
    fs::create_directories(out);
    QStringList photos;
    for (int i = 0; i < 8; ++i) {
        const std::string name = dir.File("photo-" + std::to_string(i) + ".heic");
        ASSERT_EQ(test::WriteHeic(name, test::HeicImageSpec{}), "");
        photos << QString::fromStdString(name);
    }
    CMainWnd* window = test::OpenMainWindow(test::RealWorkerRunner());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    window->AddImageFiles(photos);
    // The card is gone and something else took its name: nothing can make the folder again.
    fs::remove_all(card);
    std::ofstream(card) << "not a folder";

    test::BoxAnswerer box("PromptBoxDialog", "msgConfirm");
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window) && box.Answered(); }, 60000));
    EXPECT_EQ(box.Text(),
              QStringLiteral("输出文件夹已不存在,转换已停止。请重新选择输出文件夹后再继续转换。"));
    int failed = 0;
    for (int id = 0; id < photos.size(); ++id) {
        if (EntryShows(window, id, "status-failed")) {
            ++failed;
            EXPECT_EQ(Note(window, id), QStringLiteral("输出文件夹已不存在")) << id;
        } else {
            EXPECT_TRUE(EntryShows(window, id, "status-waiting")) << id;
        }
    }
    EXPECT_EQ(failed, 1) << "the rest waits instead of failing one by one";
    EXPECT_TRUE(Text(window, "batch-progress").startsWith(QStringLiteral("转换已停止:成功 0 张")))
        << Text(window, "batch-progress").toStdString();
    EXPECT_FALSE(fs::exists(out)) << "nothing made the folder again";
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
