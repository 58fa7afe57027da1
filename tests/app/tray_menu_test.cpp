#include "app/main_task_menu.h"
#include "app/mainwnd.h"
#include "app/menu_placement.h"
#include "app/window_messages.h"
#include "app_test_util.h"
#include "net/service_url.h"
#include "ui/messages.h"
#include "ui/window_keeper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

namespace velquist {
namespace {

TEST(MenuPlacement, OpensAtThePointShiftedRightAndUp) {
    EXPECT_EQ(PlaceMenu({100, 100}, {150, 190}, {0, 0, 1280, 800}), QPoint(106, 94));
}

TEST(MenuPlacement, NearTheBottomRightCornerOpensAboveAndLeftFlushWithTheEdge) {
    const QRect work(0, 0, 1280, 760); // a task bar below
    const QPoint at = PlaceMenu({1270, 750}, {150, 190}, work);
    EXPECT_EQ(at, QPoint(1280 - 150, 750 - 190 - 6));
}

// Trays sit at any edge, on any screen of a desktop: the menu never leaves the work area.
TEST(MenuPlacement, StaysOnTheWorkAreaWhereverTheTrayIs) {
    const QSize menu(150, 190);
    for (const QRect& work : {QRect(0, 0, 1280, 760), QRect(0, 28, 1280, 772),
                              QRect(48, 0, 1232, 800), QRect(1280, 0, 1920, 1050)}) {
        const int right = work.x() + work.width();
        const int bottom = work.y() + work.height();
        for (const QPoint& pointer : {QPoint(right - 1, bottom - 1), QPoint(right - 1, work.y()),
                                      QPoint(work.x(), work.y()), QPoint(work.x(), bottom - 1),
                                      QPoint(right - 151, work.y() + 2)}) {
            const QRect placed(PlaceMenu(pointer, menu, work), menu);
            EXPECT_TRUE(work.contains(placed)) << pointer.x() << "," << pointer.y();
        }
    }
    // Larger than the work area: it starts at the area's corner.
    EXPECT_EQ(PlaceMenu({50, 50}, {300, 900}, {0, 0, 1280, 800}), QPoint(56, 0));
    EXPECT_EQ(PlaceMenu({50, 50}, {2000, 100}, {0, 0, 1280, 800}), QPoint(0, 44));
}

// A window that records the messages it gets; any skin will do.
class Recorder : public ui::WindowImplBase {
  public:
    QString GetWindowClassName() const override { return QStringLiteral("Recorder"); }
    QString GetSkinFile() override { return QStringLiteral("MainTaskMenu.xml"); }
    ui::LRESULT HandleCustomMessage(ui::UINT msg, ui::WPARAM, ui::LPARAM, bool& handled) override {
        messages.push_back(msg);
        handled = true;
        return 0;
    }
    std::vector<ui::UINT> messages;
};

QWidget* OpenMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("CDuiMenu ") && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

TEST(TrayMenu, EveryItemPostsItsMessageAndClosesTheMenu) {
    Recorder owner;
    ASSERT_NE(owner.Create(ui::kNoWindow, QStringLiteral("owner"), ui::WS_OVERLAPPEDWINDOW, 0),
              ui::kNoWindow);
    const std::pair<const char*, ui::UINT> items[] = {{"main_menu_item_home", kMsgShowMain},
                                                      {"main_menu_item_feedback", kMsgFeedback},
                                                      {"main_menu_item_help", kMsgOpenHelp},
                                                      {"main_menu_item_upgrade", kMsgCheckUpdate},
                                                      {"main_menu_item_quit", kMsgQuit}};
    for (const auto& [name, message] : items) {
        owner.messages.clear();
        auto menu = std::make_unique<CMainTaskMenu>(QStringLiteral("MainTaskMenu.xml"));
        ASSERT_TRUE(menu->Popup(&owner, 200, 200));
        ui::KeepUntilGone(std::move(menu));
        QWidget* shown = OpenMenu();
        ASSERT_NE(shown, nullptr) << name;
        auto* item = shown->findChild<QAbstractButton*>(QLatin1String(name));
        ASSERT_NE(item, nullptr) << name;
        item->click();
        ASSERT_TRUE(test::SpinUntil([&] {
            return !owner.messages.empty() && OpenMenu() == nullptr;
        })) << name;
        EXPECT_EQ(owner.messages, std::vector<ui::UINT>{message}) << name;
    }
}

TEST(TrayMenu, NearTheBottomRightCornerItOpensAboveAndLeftOfThePointer) {
    Recorder owner;
    ASSERT_NE(owner.Create(ui::kNoWindow, QStringLiteral("owner"), ui::WS_OVERLAPPEDWINDOW, 0),
              ui::kNoWindow);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint pointer(work.x() + work.width() - 3, work.y() + work.height() - 3);
    auto menu = std::make_unique<CMainTaskMenu>(QStringLiteral("MainTaskMenu.xml"));
    ASSERT_TRUE(menu->Popup(&owner, pointer.x(), pointer.y()));
    ui::KeepUntilGone(std::move(menu));
    QWidget* shown = OpenMenu();
    ASSERT_NE(shown, nullptr);
    const QRect frame = shown->frameGeometry();
    EXPECT_EQ(frame.left(), work.x() + work.width() - frame.width());
    EXPECT_EQ(frame.top(), pointer.y() - frame.height() - 6);
    EXPECT_LT(frame.left(), pointer.x());
    EXPECT_LT(frame.bottom(), pointer.y());
    shown->close();
    EXPECT_TRUE(test::SpinUntil([] { return OpenMenu() == nullptr; }));
    EXPECT_TRUE(owner.messages.empty()); // closing without a choice posts nothing
}

TEST(TrayMenu, TrayClicksReachTheMainWindow) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    window->GetWidget()->showMinimized();
    ui::PostMessage(window->GetHWND(), kMsgTrayNotify, 0, kTrayLeftButtonDown);
    EXPECT_TRUE(test::SpinUntil([&] { return !window->GetWidget()->isMinimized(); }));
    ui::PostMessage(window->GetHWND(), kMsgTrayNotify, 0, kTrayRightButtonDown);
    ASSERT_TRUE(test::SpinUntil([] { return OpenMenu() != nullptr; }));
    OpenMenu()->findChild<QAbstractButton*>(QStringLiteral("main_menu_item_quit"))->click();
    // Nothing converts, so the quit item closes the window without a question.
    const ui::HWND handle = window->GetHWND();
    EXPECT_TRUE(test::SpinUntil([handle] { return !ui::IsWindow(handle); }));
}

// The tray's 检查更新 answers even when the service cannot be reached.
TEST(TrayMenu, CheckForUpdateAlwaysAnswers) {
    SetServiceBaseUrl("http://127.0.0.1:1"); // a port nothing listens on
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    {
        test::BoxAnswerer box("PromptBoxDialog", "msgConfirm");
        ui::PostMessage(window->GetHWND(), kMsgCheckUpdate, 0, 0);
        EXPECT_TRUE(test::SpinUntil([&box] { return box.Answered(); }));
        EXPECT_EQ(box.Text(), QStringLiteral("网络连接失败,请检查网络!"));
    }
    test::CloseMainWindow(window);
    ReloadServiceBaseUrl();
}

QWidget* Shown(const QString& objectName) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

// Nobody logged in: the tray's 意见反馈 says so on opening, 提交 opens the login, and
// leaving the login keeps the form with what was typed.
TEST(TrayMenu, FeedbackOpensTheLoginAndKeepsTheText) {
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    QString tip;
    QString kept;
    bool loginShown = false;
    auto* timer = new QTimer;
    int step = 0;
    QObject::connect(timer, &QTimer::timeout, [&] {
        QWidget* form = Shown(QStringLiteral("意见反馈"));
        QWidget* login = Shown(QStringLiteral("登陆"));
        if (step == 0 && form != nullptr) {
            tip = form->findChild<QLabel*>(QStringLiteral("feedbackErrorTips"))->text();
            form->findChild<QPlainTextEdit*>(QStringLiteral("feedbackContent"))
                ->setPlainText(QStringLiteral("很长的一段反馈"));
            form->findChild<QLineEdit*>(QStringLiteral("feedbackContact"))
                ->setText(QStringLiteral("qq 1"));
            ++step;
            // Outside this timer's slot: the login's modal loop must let the timer fire.
            QTimer::singleShot(0, form->findChild<QAbstractButton*>(QStringLiteral("feedbackBtn")),
                               &QAbstractButton::click);
        } else if (step == 1 && login != nullptr) {
            loginShown = true;
            ++step;
            login->close();
        } else if (step == 2 && login == nullptr && form != nullptr) {
            kept = form->findChild<QPlainTextEdit*>(QStringLiteral("feedbackContent"))
                       ->toPlainText();
            ++step;
            form->close();
        }
    });
    timer->start(5);
    ui::PostMessage(window->GetHWND(), kMsgFeedback, 0, 0);
    EXPECT_TRUE(test::SpinUntil([&step] { return step == 3; }));
    EXPECT_TRUE(test::SpinUntil([] { return Shown(QStringLiteral("意见反馈")) == nullptr; }));
    delete timer;
    EXPECT_EQ(tip, QStringLiteral("请先登录后进行反馈!"));
    EXPECT_TRUE(loginShown);
    EXPECT_EQ(kept, QStringLiteral("很长的一段反馈"));
    test::CloseMainWindow(window);
}

} // namespace
} // namespace velquist
