// Screenshots of the main window for the README: empty, with files, during a
// batch (also with an update offered), stopped, and after it (one entry failed, to be
// tried again); the registration form refusing a code for a registered number. Run under Xvfb:
//   xvfb-run -a -s "-screen 0 1280x800x24" velquist-app-shots docs/screenshots [suffix]
#include "account_shot.h"
#include "app/app_startup.h"
#include "app/main_task_menu.h"
#include "app/mainwnd.h"
#include "bench_support.h"
#include "net/dialogs/gui_update_ui.h"
#include "net/update_check.h"
#include "platform/app_translations.h"
#include "support/heic_fixture.h"
#include "ui/control.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace velquist;

namespace {

bool Shot(CMainWnd* window, const QString& file) {
    bench::SpinFor(300);
    // What the display shows: the list paints its rows through a nested
    // render, which a widget grab does not reproduce faithfully.
    QWidget* widget = window->GetWidget();
    QScreen* screen = widget->screen();
    const QRect frame = widget->geometry();
    const QPixmap pixmap =
        screen != nullptr && qgetenv("QT_QPA_PLATFORM") != "offscreen"
            ? screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
            : widget->grab();
    const bool ok = pixmap.save(file);
    std::printf("%s %s\n", ok ? "wrote" : "cannot write", file.toUtf8().constData());
    return ok;
}

void Click(CMainWnd* window, const char* name) {
    if (ui::CControlUI* control = window->FindControl(QLatin1String(name))) {
        qobject_cast<QAbstractButton*>(control->GetWidget())->click();
    }
}

bool EntryShows(CMainWnd* window, int id, const char* part) {
    ui::CControlUI* entry = window->FindControl(QStringLiteral("item-%1").arg(id));
    ui::CControlUI* status =
        entry != nullptr ? entry->FindSubControl(QLatin1String(part)) : nullptr;
    return status != nullptr && status->IsVisible();
}

// An update offered while the batch runs: the announcement says that the installer
// waits for the batch, and the shot declines it so the batch goes on.
void ShotUpdateDuringBatch(CMainWnd* window, const QString& file) {
    QTimer::singleShot(0, [window, file] {
        QWidget* box = nullptr;
        bench::SpinUntil(
            [&box] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (widget->objectName() == QLatin1String("MessageBoxDialog") &&
                        widget->isVisible()) {
                        box = widget;
                    }
                }
                return box != nullptr;
            },
            5000);
        Shot(window, file);
        if (box != nullptr) {
            box->findChild<QAbstractButton*>(QStringLiteral("msgCancel"))->click();
        }
    });
    ui::CControlUI* stop = window->FindControl(QStringLiteral("image-convert-processing-btn"));
    GuiUpdateUi update(window->GetHWND(), [stop] { return stop != nullptr && stop->IsVisible(); });
    update.AskUpgrade(NewVersionText("1.1.0", update.BatchRunning()));
}

// The list with the photos' pictures: real phone and conformance files when the shared
// test data is there (a burst of ten among them, a broken one), else the fixtures.
void ShotThumbnails(CMainWnd* window, const QString& file) {
    ui::CControlUI* all = window->FindControl(QStringLiteral("imagecheckboxall"));
    if (all != nullptr && !all->GetCheck()) {
        qobject_cast<QAbstractButton*>(all->GetWidget())->click();
    }
    if (ui::CControlUI* remove = window->FindControl(QStringLiteral("image-remove-all"))) {
        qobject_cast<QAbstractButton*>(remove->GetWidget())->click();
    }
    // A worktree elsewhere names the shared folder in VELQUIST_HEIC_TESTDATA.
    const QString named = qEnvironmentVariable("VELQUIST_HEIC_TESTDATA");
    const QString shared =
        (named.isEmpty() ? QStringLiteral(VELQUIST_HEIC_TESTDATA_DIR) : named) + QLatin1Char('/');
    QStringList files;
    for (const char* name :
         {"mde_IMG_1034.heic", "mde_Issue_487.heic", "nokia_C004.heic",
          "libheif_rainbow-451x461.heic", "nokia_C013.heic", "nokia_MIAF007.heic",
          "pillowheif_truncated.heic", "nokia_C006.heic", "nokia_MIAF002.heic"}) {
        if (QFileInfo::exists(shared + QLatin1String(name))) {
            files << shared + QLatin1String(name);
        }
    }
    if (files.isEmpty()) {
        std::printf("no shared test data; the thumbnail shot is left out\n");
        return;
    }
    window->AddImageFiles(files);
    bench::SpinFor(4000); // the large photos' pictures take a moment
    Shot(window, file);
}

} // namespace

int main(int argc, char** argv) {
    const std::string home = bench::UseTemporaryHome();
    QApplication app(argc, argv);
    // The locale (LANG=en_US.UTF-8 for the English pictures) chooses, as in the program.
    velquist::SetUpUiLanguage();
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    bench::PrepareSkin();

    const std::string input = home + "/input";
    std::filesystem::create_directories(input);
    test::HeicImageSpec big;
    big.width = 2400;
    big.height = 1800;
    const std::vector<std::string> names = {
        "IMG_2041.HEIC",  "IMG_2042.HEIC", "海边日落.heic", "家庭聚会_01.heic", "IMG_2107.HEIC",
        "旅行-京都.heic", "IMG_2113.HEIC", "猫咪.heic",     "IMG_2120.HEIC",    "会议白板.heic"};
    if (!test::WriteHeic(input + "/" + names[0], big).empty()) {
        std::fprintf(stderr, "cannot write the fixture\n");
        return 1;
    }
    for (std::size_t i = 1; i < names.size(); ++i) {
        std::filesystem::copy_file(input + "/" + names[0], input + "/" + names[i]);
    }
    std::ofstream(input + "/损坏的照片.heic") << "this is not an image";

    CMainWnd* window = CreateMainWindow();
    if (window == nullptr) {
        return 1;
    }
    // On a small or highly scaled screen the window keeps the size it fitted to.
    const QRect work = window->GetWidget()->screen()->availableGeometry();
    if (work.width() >= 980 && work.height() >= 700) {
        window->MoveWindow(40, 40, 900, 620);
    }
    Shot(window, outDir + "/main-empty" + suffix + ".png");

    QStringList files;
    for (std::size_t i = 0; i < names.size(); ++i) {
        files << QString::fromStdString(input + "/" + names[i]);
        if (i == 3) {
            files << QString::fromStdString(input + "/损坏的照片.heic");
        }
    }
    window->AddImageFiles(files);
    const std::string output = home + "/Pictures/Heic";
    std::filesystem::create_directories(output);
    Shot(window, outDir + "/main-idle" + suffix + ".png");
    // The 尺寸 choice open over the list.
    if (auto* size = qobject_cast<QComboBox*>(
            window->FindControl(QStringLiteral("image-max-size"))->GetWidget())) {
        size->showPopup();
        bench::SpinFor(300);
        // The list drops below the window: the picture takes in both.
        const QRect area = window->GetWidget()->frameGeometry().united(
            size->view()->window()->frameGeometry());
        const QString file = outDir + "/size-combo" + suffix + ".png";
        size->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
        std::printf("wrote %s\n", file.toUtf8().constData());
        size->hidePopup();
        // 自定义…: its question box, answered with 取消.
        QTimer::singleShot(300, [window, outDir, suffix] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->objectName() == QLatin1String("MaxSizeDialog") &&
                    widget->isVisible()) {
                    Shot(window, outDir + "/size-custom" + suffix + ".png");
                    widget->findChild<QAbstractButton*>(QStringLiteral("msgCancel"))->click();
                }
            }
        });
        size->setCurrentIndex(size->count() - 1);
    }

    auto* start = window->FindControl(QStringLiteral("image-convert-start-btn"));
    qobject_cast<QAbstractButton*>(start->GetWidget())->click();
    bench::SpinUntil([&] { return EntryShows(window, 0, "status-sucess"); }, 60000);
    Shot(window, outDir + "/main-converting" + suffix + ".png");
    ShotUpdateDuringBatch(window, outDir + "/update-during-batch" + suffix + ".png");

    // Stopped: the interrupted entries wait again with their note.
    Click(window, "image-convert-processing-btn");
    bench::SpinUntil([&] { return start->IsVisible(); }, 60000);
    Shot(window, outDir + "/main-stopped" + suffix + ".png");

    qobject_cast<QAbstractButton*>(start->GetWidget())->click();
    bench::SpinUntil([&] { return start->IsVisible(); }, 120000);
    Shot(window, outDir + "/main-done" + suffix + ".png");

    // The failed entry in view and the command that tries it again, with the keyboard on it.
    if (auto* list = qobject_cast<QAbstractItemView*>(
            window->FindControl(QStringLiteral("image-list"))->GetWidget())) {
        list->scrollToBottom();
    }
    QApplication::setActiveWindow(window->GetWidget());
    bench::SpinFor(200);
    window->FindControl(QStringLiteral("retry-failed-btn"))
        ->GetWidget()
        ->setFocus(Qt::TabFocusReason);
    Shot(window, outDir + "/main-retry" + suffix + ".png");
    QApplication::focusWidget()->clearFocus();
    if (auto* list = qobject_cast<QAbstractItemView*>(
            window->FindControl(QStringLiteral("image-list"))->GetWidget())) {
        list->scrollToTop();
    }

    // Why the broken photo failed: the tool tip on its "转换失败".
    if (ui::CControlUI* entry = window->FindControl(QStringLiteral("item-4"))) {
        ui::CControlUI* failed = entry->FindSubControl(QStringLiteral("status-failed"));
        // Left of the status, so that the whole tip lies inside the picture.
        const QRect status = failed->GetPos();
        const QPoint at =
            window->GetWidget()->mapToGlobal(QPoint(status.left() - 260, status.center().y()));
        QToolTip::showText(at, failed->GetToolTip(), window->GetWidget());
        Shot(window, outDir + "/main-failure" + suffix + ".png");
        QToolTip::hideText();
    }

    // Moving by keyboard: the focus mark on a control of the toolbar.
    QApplication::setActiveWindow(window->GetWidget());
    bench::SpinFor(200);
    for (int i = 0; i < 5; ++i) {
        QWidget* from = QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                               : window->GetWidget();
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(from, &tab);
    }
    Shot(window, outDir + "/main-focus" + suffix + ".png");
    // The tray menu, opened as a right click on the tray icon would.
    auto* menu = new CMainTaskMenu(QStringLiteral("MainTaskMenu.xml"));
    menu->Popup(window, 700, 300);
    bench::SpinFor(300);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("CDuiMenu ") && widget->isVisible()) {
            widget->grab().save(outDir + "/main-menu" + suffix + ".png");
            widget->close();
        }
    }
    // The options as a user may have set them.
    for (const char* box : {"include-subfolders", "image-strip-location", "image-all-images"}) {
        window->FindControl(QLatin1String(box))->SetCheck(true, true);
    }
    window->FindControl(QStringLiteral("existing-file"))->SelectItem(2, false, true);
    ShotThumbnails(window, outDir + "/main-thumbnails" + suffix + ".png");
    bench::ShotLoginDialog(window, outDir + "/login" + suffix + ".png");
    bench::ShotCodeRefusal(window, outDir + "/register-code-refused" + suffix + ".png");
    window->Close();
    bench::SpinFor(200);
    return 0;
}
