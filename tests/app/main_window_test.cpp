#include "app/mainwnd.h"
#include "app/window_messages.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "platform/path_text.h"
#include "platform/shell_open.h"
#include "support/temp_dir.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "ui/template_list.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using test::BoxAnswerer;
using test::ClickButton;
using test::ControlVisible;
using test::EntryShows;
using test::SpinUntil;

ui::TemplateListView* ListOf(CMainWnd* window) {
    return qobject_cast<ui::TemplateListView*>(
        window->FindControl(QStringLiteral("image-list"))->GetWidget());
}

bool Checked(CMainWnd* window, int id) {
    ui::CControlUI* entry = window->FindControl(QStringLiteral("item-%1").arg(id));
    return entry != nullptr && entry->FindSubControl(QStringLiteral("imageCheckBox"))->GetCheck();
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"one.heic", "two.heic", "three.heic"}) {
            std::ofstream(files_.File(name)) << "content";
        }
    }

    QString File(const char* name) const { return QString::fromStdString(files_.File(name)); }

    test::TempDir files_;
};

class RecordingOpener : public UrlOpener {
  public:
    bool Open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<QUrl> opened;
};

TEST_F(MainWindowTest, StoredValuesSelectAsWrittenAndBadOnesKeepTheSkinsChoice) {
    WriteConfigValue(L"global", L"image-format", L"  png ");
    WriteConfigValue(L"global", L"image-quality", L"55");
    WriteConfigValue(L"global", L"image-exif", L"0");
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->FindControl(QStringLiteral("image-format"))->GetCurSel(), 1);
    EXPECT_EQ(window->FindControl(QStringLiteral("image-quality"))->GetText(),
              QStringLiteral("90"));
    EXPECT_FALSE(window->FindControl(QStringLiteral("image-exif"))->GetCheck());
    // Restoring the selection writes nothing back.
    EXPECT_EQ(test::SavedSetting(L"image-quality"), L"55");
    EXPECT_EQ(test::SavedSetting(L"image-exif"), L"0");
    test::CloseMainWindow(window);

    WriteConfigValue(L"global", L"image-format", L"PNG");
    WriteConfigValue(L"global", L"image-quality", L"100");
    WriteConfigValue(L"global", L"image-exif", L"");
    window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->FindControl(QStringLiteral("image-format"))->GetText(),
              QStringLiteral("jpg"));
    EXPECT_EQ(window->FindControl(QStringLiteral("image-quality"))->GetCurSel(), 9);
    EXPECT_FALSE(window->FindControl(QStringLiteral("image-exif"))->GetCheck());
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, FirstStartShowsTheDefaultOutputFolder) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    const std::string expected = test::TestHome() + "/Pictures/Heic";
    EXPECT_EQ(window->FindControl(QStringLiteral("output-dir-path"))->GetText().toStdString(),
              expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_TRUE(window->FindControl(QStringLiteral("image-exif"))->GetCheck());
    EXPECT_EQ(window->GetWidget()->property("Morvane").toInt(), 1);
    EXPECT_EQ(window->GetWidget()->windowTitle(), QStringLiteral("Velquist"));
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, EntriesGetFreshIdsAndRemovalsNeverReuseThem) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ControlVisible(window, "image-list-empty"));
    window->AddImageFiles({File("one.heic"), File("two.heic"), File("one.heic")});
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_FALSE(ControlVisible(window, "image-list-empty"));
    for (int id = 0; id < 3; ++id) {
        ui::CControlUI* entry = list->GetItemAt(id);
        EXPECT_EQ(entry->GetName(), QStringLiteral("item-%1").arg(id));
        EXPECT_TRUE(Checked(window, id));
        EXPECT_EQ(entry->FindSubControl(QStringLiteral("fileSizeLabel"))->GetText(),
                  QStringLiteral("7B"));
        EXPECT_EQ(entry->FindSubControl(QStringLiteral("image-remove"))->GetTag(), id);
    }
    EXPECT_EQ(list->GetItemAt(2)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText(),
              QStringLiteral("one.heic"));

    ASSERT_TRUE(ListOf(window)->ClickPart(2, QStringLiteral("image-remove")));
    SpinUntil([list] { return list->GetCount() == 2; });
    window->AddImageFiles({File("three.heic")});
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetItemAt(2)->GetName(), QStringLiteral("item-3"));
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, SelectAllAndRemoveChecked) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    window->AddImageFiles({File("one.heic"), File("two.heic"), File("three.heic"), File("one.heic"),
                           File("two.heic")});
    ClickButton(window, "imageCheckBoxAll"); // was checked: clears every entry
    for (int id = 0; id < 5; ++id) {
        EXPECT_FALSE(Checked(window, id));
    }
    ui::TemplateListView* view = ListOf(window);
    view->ClickPart(1, QStringLiteral("imageCheckBox"));
    view->ClickPart(3, QStringLiteral("imageCheckBox"));
    ClickButton(window, "image-remove-all");
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetItemAt(0)->GetName(), QStringLiteral("item-0"));
    EXPECT_EQ(list->GetItemAt(1)->GetName(), QStringLiteral("item-2"));
    EXPECT_EQ(list->GetItemAt(2)->GetName(), QStringLiteral("item-4"));

    ClickButton(window, "imageCheckBoxAll"); // checks all again
    ClickButton(window, "image-remove-all");
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_TRUE(ControlVisible(window, "image-list-empty"));
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, StartWithEmptyListOrNothingCheckedOnlyPrompts) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    {
        BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        ClickButton(window, "image-convert-start-btn");
        EXPECT_TRUE(box.Answered());
        EXPECT_EQ(box.Text(), QStringLiteral("请先添加heic文件!"));
    }
    window->AddImageFiles({File("one.heic")});
    ClickButton(window, "imageCheckBoxAll");
    {
        BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        ClickButton(window, "image-convert-start-btn");
        EXPECT_TRUE(box.Answered());
        EXPECT_EQ(box.Text(), QStringLiteral("请先勾选要转换的文件!"));
    }
    EXPECT_TRUE(ControlVisible(window, "image-convert-start-btn"));
    EXPECT_FALSE(ControlVisible(window, "image-convert-processing-btn"));
    EXPECT_FALSE(window->Engine()->IsBusy());
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, RemovingWhileConvertingIsRefused) {
    auto gate = std::make_shared<test::GateRunner>();
    CMainWnd* window = test::OpenMainWindow(gate);
    ASSERT_NE(window, nullptr);
    window->AddImageFiles({File("one.heic"), File("two.heic")});
    ClickButton(window, "image-convert-start-btn");
    EXPECT_FALSE(ControlVisible(window, "image-convert-start-btn"));
    EXPECT_TRUE(ControlVisible(window, "image-convert-processing-btn"));
    ASSERT_TRUE(SpinUntil([&] { return gate->Started() == 2 && window->Engine()->IsBusy(); }));
    {
        BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        ListOf(window)->ClickPart(0, QStringLiteral("image-remove"));
        EXPECT_TRUE(box.Answered());
        EXPECT_EQ(box.Text(), QStringLiteral("当前任务正在转换中!"));
    }
    {
        BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        ClickButton(window, "image-remove-all");
        EXPECT_EQ(box.Text(), QStringLiteral("当前任务正在转换中!"));
    }
    EXPECT_EQ(window->FindControl(QStringLiteral("image-list"))->GetCount(), 2);
    gate->Open();
    ASSERT_TRUE(SpinUntil([&] { return ControlVisible(window, "image-convert-start-btn"); }));
    EXPECT_TRUE(EntryShows(window, 0, "status-sucess"));
    EXPECT_TRUE(EntryShows(window, 1, "preview"));
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, ClosingDuringABatchAsksAndCancelKeepsTheWindow) {
    auto gate = std::make_shared<test::GateRunner>();
    CMainWnd* window = test::OpenMainWindow(gate);
    ASSERT_NE(window, nullptr);
    const ui::HWND handle = window->GetHWND();
    window->AddImageFiles({File("one.heic")});
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return window->Engine()->IsBusy(); }));
    {
        BoxAnswerer box("MessageBoxDialog", "msgCancel");
        ui::PostMessage(handle, kMsgQuit, 0, 0); // the tray menu's quit item
        ASSERT_TRUE(SpinUntil([&] { return box.Answered(); }));
        EXPECT_EQ(box.Text(), QStringLiteral("正在转换中,确定要退出吗?"));
    }
    ASSERT_TRUE(test::SpinPastPosted()); // a close would have come by now
    ASSERT_TRUE(ui::IsWindow(handle));
    gate->Open();
    ASSERT_TRUE(SpinUntil([&] { return EntryShows(window, 0, "status-sucess"); }));
    EXPECT_TRUE(ControlVisible(window, "image-convert-start-btn"));
    // Nothing runs any more: the close goes through without a question.
    ui::PostMessage(handle, ui::WM_CLOSE, 0, 0);
    EXPECT_TRUE(SpinUntil([handle] { return !ui::IsWindow(handle); }));
}

TEST_F(MainWindowTest, ConfirmingTheCloseDuringABatchEndsTheWindow) {
    auto gate = std::make_shared<test::GateRunner>();
    CMainWnd* window = test::OpenMainWindow(gate);
    ASSERT_NE(window, nullptr);
    const ui::HWND handle = window->GetHWND();
    window->AddImageFiles({File("one.heic")});
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return window->Engine()->IsBusy(); }));
    BoxAnswerer box("MessageBoxDialog", "msgConfirm");
    ui::PostMessage(handle, ui::WM_CLOSE, 0, 0);
    EXPECT_TRUE(SpinUntil([handle] { return !ui::IsWindow(handle); }));
    EXPECT_TRUE(box.Answered());
}

TEST_F(MainWindowTest, PreviewOfAMissingOutputFailsBeforeOpeningAnything) {
    RecordingOpener opener;
    SetUrlOpener(&opener);
    auto gate = std::make_shared<test::GateRunner>();
    gate->Open(); // "succeeds" without writing the file
    CMainWnd* window = test::OpenMainWindow(gate);
    ASSERT_NE(window, nullptr);
    window->AddImageFiles({File("one.heic")});
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return EntryShows(window, 0, "preview"); }));
    {
        BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        ASSERT_TRUE(ListOf(window)->ClickPart(0, QStringLiteral("preview")));
        EXPECT_EQ(box.Text(), QStringLiteral("图片预览失败!"));
    }
    EXPECT_TRUE(opener.opened.empty());
    // Once the file is there, the preview opens it.
    const auto item = window->Engine()->GetImageItem(0);
    ASSERT_TRUE(item.has_value());
    std::ofstream(fs::path(item->outputPath)) << "x";
    ListOf(window)->ClickPart(0, QStringLiteral("preview"));
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(PathFromUrl(opener.opened[0]), item->outputPath);
    test::CloseMainWindow(window);
    SetUrlOpener(nullptr);
}

TEST_F(MainWindowTest, UnwritableOutputFolderChangesNothing) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    ui::CControlUI* path = window->FindControl(QStringLiteral("output-dir-path"));
    const QString before = path->GetText();
    const std::string locked = files_.File("locked");
    fs::create_directory(locked);
    chmod(locked.c_str(), 0555);
    const std::string readOnly = access(locked.c_str(), W_OK) == 0 ? "/proc" : locked;
    {
        BoxAnswerer box("PromptBoxDialog", "msgConfirm"); // the program's own box
        EXPECT_FALSE(window->SetOutputFolder(QString::fromStdString(readOnly)));
        EXPECT_TRUE(box.Answered());
        EXPECT_EQ(box.Text(), QStringLiteral("该目录没有写入权限!"));
    }
    EXPECT_EQ(path->GetText(), before);
    EXPECT_EQ(test::SavedSetting(L"output-dir"), L"<absent>");
    EXPECT_FALSE(fs::exists(readOnly + "/MorvaneTmp"));

    const std::string good = files_.File("out");
    fs::create_directory(good);
    EXPECT_TRUE(window->SetOutputFolder(QString::fromStdString(good)));
    EXPECT_EQ(path->GetText().toStdString(), good);
    EXPECT_EQ(test::SavedSetting(L"output-dir"), std::wstring(good.begin(), good.end()));
    EXPECT_TRUE(fs::is_empty(good));
    test::CloseMainWindow(window);
}

TEST_F(MainWindowTest, DroppedFilesAndFoldersJoinTheList) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    const std::string folder = files_.File("drop");
    fs::create_directory(folder);
    std::ofstream(folder + "/a.heic") << "a";
    std::ofstream(folder + "/b.txt") << "b";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder)),
                  QUrl::fromLocalFile(File("two.heic")),
                  QUrl::fromLocalFile(File("../nothing.png"))});
    QWidget* host = window->GetWidget();
    QDragEnterEvent enter(QPoint(50, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(host, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(host, &drop);
    // A drop is scanned off the GUI thread.
    ASSERT_TRUE(SpinUntil([window] { return window->PendingScans() == 0; }));
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetItemAt(0)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText(),
              QStringLiteral("a.heic"));
    EXPECT_EQ(list->GetItemAt(1)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText(),
              QStringLiteral("two.heic"));
    test::CloseMainWindow(window);
}

// Jobs that fail while `failing` holds, and otherwise wait for the gate.
class FailThenGateRunner : public test::GateRunner {
  public:
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) override {
        if (failing) {
            return {kTaskFailed, "broken"};
        }
        return GateRunner::Run(task, cancel);
    }
    std::atomic<bool> failing{true};
};

QWidget* WidgetOf(CMainWnd* window, const char* name) {
    return window->FindControl(QLatin1String(name))->GetWidget();
}

void Press(int key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

bool TabUntil(QWidget* wanted) {
    for (int i = 0; i < 40 && QApplication::focusWidget() != wanted; ++i) {
        Press(Qt::Key_Tab);
    }
    return QApplication::focusWidget() == wanted;
}

bool BatchOver(CMainWnd* window) {
    return ControlVisible(window, "image-convert-start-btn");
}

// 全选 follows the entries, and the last batch's summary goes with the last entry.
TEST_F(MainWindowTest, SelectAllAndTheSummaryFollowTheEntries) {
    auto gate = std::make_shared<test::GateRunner>();
    gate->Open();
    CMainWnd* window = test::OpenMainWindow(gate);
    ASSERT_NE(window, nullptr);
    ui::CControlUI* all = window->FindControl(QStringLiteral("imageCheckBoxAll"));
    window->AddImageFiles({File("one.heic"), File("two.heic"), File("three.heic")});
    EXPECT_TRUE(all->GetCheck());
    ListOf(window)->ClickPart(1, QStringLiteral("imageCheckBox"));
    EXPECT_FALSE(Checked(window, 1));
    EXPECT_FALSE(all->GetCheck());
    ListOf(window)->ClickPart(1, QStringLiteral("imageCheckBox"));
    EXPECT_TRUE(all->GetCheck());
    ListOf(window)->ClickPart(0, QStringLiteral("imageCheckBox"));
    EXPECT_FALSE(all->GetCheck());
    ListOf(window)->ClickPart(0, QStringLiteral("image-remove")); // the unticked one goes
    ASSERT_TRUE(SpinUntil([&] { return all->GetCheck(); }));
    ListOf(window)->ClickPart(0, QStringLiteral("imageCheckBox"));
    ClickButton(window, "image-remove-all"); // the ticked one goes; the unticked one stays
    ASSERT_EQ(window->FindControl(QStringLiteral("image-list"))->GetCount(), 1);
    EXPECT_FALSE(all->GetCheck());
    window->AddImageFiles({File("two.heic")});
    EXPECT_FALSE(all->GetCheck()); // the new entry comes ticked, the old one is not

    ClickButton(window, "imageCheckBoxAll");
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }));
    EXPECT_TRUE(ControlVisible(window, "batch-progress"));
    EXPECT_TRUE(ControlVisible(window, "summary-open-dir"));
    ListOf(window)->ClickPart(0, QStringLiteral("image-remove"));
    EXPECT_TRUE(ControlVisible(window, "batch-progress")); // one entry is still there
    ListOf(window)->ClickPart(0, QStringLiteral("image-remove"));
    ASSERT_TRUE(SpinUntil([&] { return !ControlVisible(window, "batch-progress"); }));
    EXPECT_FALSE(ControlVisible(window, "summary-open-dir"));
    test::CloseMainWindow(window);
}

// The keyboard reaches the summary link, and 重试失败项 leaves the focus where it is useful.
TEST_F(MainWindowTest, RetryKeepsTheFocusAndTheSummaryLinkTakesTheKeyboard) {
    auto runner = std::make_shared<FailThenGateRunner>();
    CMainWnd* window = test::OpenMainWindow(runner);
    ASSERT_NE(window, nullptr);
    window->AddImageFiles({File("one.heic"), File("two.heic")});
    QApplication::setActiveWindow(window->GetWidget());
    ASSERT_TRUE(SpinUntil([&] { return window->GetWidget()->isActiveWindow(); }, 2000));
    ClickButton(window, "image-convert-start-btn");
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }));
    QWidget* retry = WidgetOf(window, "retry-failed-btn");
    ASSERT_TRUE(retry->isEnabled());

    runner->failing = false;
    retry->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Return);
    ASSERT_TRUE(ControlVisible(window, "image-convert-processing-btn"));
    EXPECT_EQ(QApplication::focusWidget(), WidgetOf(window, "image-convert-processing-btn"));
    runner->Open();
    ASSERT_TRUE(SpinUntil([&] { return BatchOver(window); }));
    EXPECT_EQ(QApplication::focusWidget(), WidgetOf(window, "image-convert-start-btn"));

    QWidget* link = WidgetOf(window, "summary-open-dir");
    ASSERT_TRUE(link->isVisible());
    ASSERT_TRUE(TabUntil(link));
    QWidget* mark = window->GetWidget()->findChild<QWidget*>(QStringLiteral("vqFocusMark"));
    ASSERT_NE(mark, nullptr);
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(mark->geometry().contains(
        QRect(link->mapTo(window->GetWidget(), QPoint(0, 0)), link->size())));
    if (const QByteArray dir = qgetenv("VELQUIST_SHOT_DIR"); !dir.isEmpty()) {
        window->GetWidget()->grab().save(QString::fromLocal8Bit(dir) + "/summary-link-focus.png");
    }
    RecordingOpener opener;
    SetUrlOpener(&opener);
    Press(Qt::Key_Space);
    Press(Qt::Key_Return);
    EXPECT_EQ(opener.opened.size(), 2u);
    SetUrlOpener(nullptr);
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
