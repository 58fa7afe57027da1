// Names that are not UTF-8, and the reasons the window gives, through the real program,
// the running instance's hand-over and the real worker.
#include "app/app_startup.h"
#include "app/mainwnd.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "platform/path_text.h"
#include "platform/shell_open.h"
#include "platform/single_instance.h"
#include "support/heic_fixture.h"
#include "support/temp_dir.h"
#include "tasks/task_engine.h"
#include "ui/template_list.h"
#include "util/text.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using test::ClickButton;
using test::EntryShows;

std::string SourceBytes(CMainWnd* window, int index) {
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    const auto item = window->Engine()->GetImageItem(list->GetItemAt(index)->GetTag());
    return item ? item->sourcePath : std::string();
}

QString ShownName(CMainWnd* window, int index) {
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    return list->GetItemAt(index)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText();
}

bool Final(CMainWnd* window, int id) {
    return EntryShows(window, id, "status-sucess") || EntryShows(window, id, "status-failed");
}

class RecordingOpener : public UrlOpener {
  public:
    bool Open(const QUrl& url) override {
        opened.push_back(PathFromUrl(url));
        return true;
    }
    std::vector<std::string> opened;
};

// Drops the URLs on the window as a file manager does, and waits for the scan.
void Drop(CMainWnd* window, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->GetWidget(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->GetWidget(), &drop);
    ASSERT_TRUE(test::SpinUntil([window] { return window->PendingScans() == 0; }));
}

// A camera's ".HIF" in a folder whose name, like the photo's, is not UTF-8, dropped on
// the window, converted into an output folder that is not UTF-8 either: the preview and
// the open-folder buttons hand the desktop exactly those bytes.
TEST(NameBytes, ADroppedPhotoConvertsAndItsOutputAndFolderOpenByTheirBytes) {
    test::TempDir dir;
    fs::create_directories(dir.File("card\xff"));
    ASSERT_EQ(test::WriteHeic(dir.File("card\xff/DSC\xff.HIF"), test::HeicImageSpec{}), "");
    std::ofstream(dir.File("card\xff/DSC\xff.XMP")) << "sidecar";
    const std::string out = dir.File("out\xfe");
    fs::create_directory(out);
    ASSERT_TRUE(WriteConfigValue(L"global", L"output-dir", PathToWide(out)));
    RecordingOpener opener;
    SetUrlOpener(&opener);
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);

    Drop(window, {UrlFromPath(dir.File("card\xff"))});
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_EQ(list->GetCount(), 1);
    EXPECT_EQ(SourceBytes(window, 0), dir.File("card\xff/DSC\xff.HIF"));
    EXPECT_EQ(ShownName(window, 0), QStringLiteral("DSC\uFFFD.HIF"));
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(test::SpinUntil([&] { return Final(window, 0); }, 60000));
    EXPECT_TRUE(EntryShows(window, 0, "status-sucess"));
    EXPECT_TRUE(fs::exists(out + "/DSC\xff.jpg"));

    auto* view = qobject_cast<ui::TemplateListView*>(list->GetWidget());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->ClickPart(0, QStringLiteral("preview")));
    ClickButton(window, "open-dir-btn");
    EXPECT_EQ(opener.opened, (std::vector<std::string>{out + "/DSC\xff.jpg", out}));
    test::CloseMainWindow(window);
    SetUrlOpener(nullptr);
    WriteConfigValue(L"global", L"output-dir", L"");
}

// The later start is the real program given a name with 0xFF relative to its folder;
// the shell passes the bytes, where QProcess would re-encode them.
TEST(NameBytes, ALaterStartHandsOverANameThatIsNotUtf8) {
    test::TempDir dir;
    const std::string name = dir.File("later/bad\xff.heic");
    fs::create_directories(dir.File("later"));
    ASSERT_EQ(test::WriteHeic(name, test::HeicImageSpec{}), "");
    const QString runtime =
        test::MakePrivateRuntimeFolder(QString::fromStdString(dir.File("runtime")));
    SingleInstance instance(SingleInstance::DefaultName(), runtime);
    ASSERT_EQ(instance.Acquire(), SingleInstance::Role::kFirst);
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ConnectInstanceToWindow(instance, window);

    EXPECT_EQ(test::RunLaterStart(runtime, QString::fromStdString(dir.File("later")),
                                  QStringLiteral("/bin/sh"),
                                  {QStringLiteral("-c"),
                                   QStringLiteral("exec \"$0\" \"$(printf 'bad\\377.heic')\""),
                                   QStringLiteral(VELQUIST_APP_BIN)}),
              0);

    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_TRUE(test::SpinUntil([list] { return list->GetCount() == 1; }, 10000));
    EXPECT_EQ(SourceBytes(window, 0), name);
    EXPECT_EQ(ShownName(window, 0), QStringLiteral("bad\uFFFD.heic"));
    test::CloseMainWindow(window);
}

// Two photos whose names differ only in bytes that are not UTF-8, added as the command
// line and the hand-over add them: each converts from its own file into its own output.
TEST(NameBytes, NamesDifferingOnlyInInvalidBytesConvertEachFromItsOwnFile) {
    test::TempDir dir;
    test::HeicImageSpec small;
    test::HeicImageSpec wide;
    wide.width = 96;
    ASSERT_EQ(test::WriteHeic(dir.File("x\xff.heic"), small), "");
    ASSERT_EQ(test::WriteHeic(dir.File("x\xfe.heic"), wide), "");
    fs::create_directories(dir.File("album\xff"));
    ASSERT_EQ(test::WriteHeic(dir.File("album\xff/in\x80.heic"), small), "");
    const std::string out = dir.File("out");
    fs::create_directory(out);

    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    window->AddOpenedPaths({dir.File("x\xff.heic"), dir.File("x\xfe.heic"), dir.File("album\xff")});
    ASSERT_TRUE(test::SpinUntil([window] { return window->PendingScans() == 0; }));
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(SourceBytes(window, 0), dir.File("x\xff.heic"));
    EXPECT_EQ(SourceBytes(window, 1), dir.File("x\xfe.heic"));
    EXPECT_EQ(SourceBytes(window, 2), dir.File("album\xff/in\x80.heic"));

    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(test::SpinUntil(
        [&] { return Final(window, 0) && Final(window, 1) && Final(window, 2); }, 90000));
    for (int id = 0; id < 3; ++id) {
        EXPECT_TRUE(EntryShows(window, id, "status-sucess")) << id;
    }
    EXPECT_TRUE(fs::exists(out + "/x\xff.jpg"));
    EXPECT_TRUE(fs::exists(out + "/x\xfe.jpg"));
    EXPECT_TRUE(fs::exists(out + "/in\x80.jpg"));
    test::CloseMainWindow(window);
}

TEST(FailureReasons, APhotoTooLargeForTheMemorySaysSo) {
    test::TempDir dir;
    ASSERT_EQ(test::WriteHeic(dir.File("photo.heic"), test::HeicImageSpec{}), "");
    const std::string out = dir.File("out");
    fs::create_directory(out);
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->SetOutputFolder(QString::fromStdString(out)));
    // A budget no photo fits: the same refusal a forged 30000x30000 grid meets.
    window->Engine()->SetMemoryBudget(1);
    window->AddImageFiles({QString::fromStdString(dir.File("photo.heic"))});
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(test::SpinUntil([&] { return Final(window, 0); }, 60000));
    ui::CControlUI* entry = window->FindControl(QStringLiteral("item-0"));
    EXPECT_TRUE(EntryShows(window, 0, "status-failed"));
    EXPECT_EQ(entry->FindSubControl(QStringLiteral("failReason"))->GetText(),
              QStringLiteral("图片尺寸过大"));
    // The full reason beside it says by how much.
    EXPECT_FALSE(entry->FindSubControl(QStringLiteral("status-failed"))->GetToolTip().isEmpty());
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
