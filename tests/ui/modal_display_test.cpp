// Modal loops on a real X display (Xvfb): what the display does behind Qt's back.
#include "test_window.h"
#include "ui/messages.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace velquist::ui::test {
namespace {

constexpr DWORD kBoxStyle = 0x96C80000u & ~WS_VISIBLE;

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// As a window manager that lost a window half-way leaves it: unmapped on the
// display, still shown as far as Qt knows.
void UnmapBehindQtsBack(QWidget* widget) {
    xcb_connection_t* connection = Connection();
    xcb_unmap_window(connection, static_cast<xcb_window_t>(widget->winId()));
    xcb_flush(connection);
}

class ModalOnDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || Connection() == nullptr) {
            GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        }
        UseTestSkins();
        owner.Create(kNoWindow, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);
        ASSERT_TRUE(SpinUntil([this] { return owner.IsOnScreen(); }));
    }
    TestWindow owner;
};

// Runs a box over the owner; `whileShown` gets it once its loop is running.
int RunBox(HWND ownerHwnd, const std::function<void(TestWindow*)>& whileShown) {
    auto* box = NewKeptWindow<TestWindow>();
    box->Create(ownerHwnd, {}, kBoxStyle, WS_EX_WINDOWEDGE);
    box->CenterWindow();
    QTimer::singleShot(0, [box, whileShown] { whileShown(box); });
    return box->ShowModal();
}

TEST_F(ModalOnDisplay, ABoxTheDisplayUnmappedComesBackAndCanBeAnswered) {
    bool firstShown = false;
    bool lost = false;
    bool back = false;
    const int code = RunBox(owner.GetHWND(), [&](TestWindow* box) {
        firstShown = SpinUntil([box] { return box->IsOnScreen(); });
        UnmapBehindQtsBack(box->GetWidget());
        lost = SpinUntil([box] { return !box->IsOnScreen(); }, 2000);
        back = SpinUntil([box] { return box->IsOnScreen(); }, 5000);
        box->Close(3);
    });
    EXPECT_TRUE(firstShown);
    EXPECT_TRUE(lost);
    EXPECT_TRUE(back) << "the modal loop ran on for a box nobody could see";
    EXPECT_EQ(code, 3);
}

TEST_F(ModalOnDisplay, ActivatingTheOwnerBringsItsLostBoxBack) {
    bool back = false;
    const int code = RunBox(owner.GetHWND(), [&](TestWindow* box) {
        SpinUntil([box] { return box->IsOnScreen(); });
        UnmapBehindQtsBack(box->GetWidget());
        SpinUntil([box] { return !box->IsOnScreen(); }, 2000);
        // The owner comes forward (a click on it, the task bar) before the watch
        // would notice: the box comes with it.
        QApplication::setActiveWindow(owner.GetWidget());
        back = SpinUntil([box] { return box->IsOnScreen(); }, 700);
        box->Close(4);
    });
    EXPECT_TRUE(back);
    EXPECT_EQ(code, 4);
}

TEST_F(ModalOnDisplay, ABoxIsMappedOnceWhenShownModally) {
    int shows = 0;
    int hides = 0;
    struct Counter : QObject {
        int* shows;
        int* hides;
        Counter(int* s, int* h) : shows(s), hides(h) {}
        bool eventFilter(QObject*, QEvent* e) override {
            *shows += e->type() == QEvent::Show ? 1 : 0;
            *hides += e->type() == QEvent::Hide ? 1 : 0;
            return false;
        }
    } counter(&shows, &hides);
    auto* box = NewKeptWindow<TestWindow>();
    box->Create(owner.GetHWND(), {}, kBoxStyle, WS_EX_WINDOWEDGE);
    box->GetWidget()->installEventFilter(&counter);
    box->CenterWindow();
    QTimer::singleShot(0, [box] {
        SpinUntil([box] { return box->IsOnScreen(); });
        box->Close(1);
    });
    EXPECT_EQ(box->ShowModal(), 1);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(hides, 1); // when it closed
}

// Whatever the screen and its scale (run with QT_SCALE_FACTOR=2 on a 1600x1000
// screen too): the window opens inside the work area, can be made no larger than
// it, and its bottom controls are on screen.
TEST(FitsTheScreen, AWindowWithALargeSkinOpensWithinTheWorkArea) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    }
    UseTestSkins();
    TestWindow big(QStringLiteral("Big.xml"));
    ASSERT_NE(big.Create(kNoWindow, QStringLiteral("big"), WS_OVERLAPPEDWINDOW, 0), kNoWindow);
    big.CenterWindow();
    big.ShowWindow(true, true);
    ASSERT_TRUE(SpinUntil([&big] { return big.IsOnScreen(); }));
    QWidget* host = big.GetWidget();
    const QRect work = host->screen()->availableGeometry();
    EXPECT_TRUE(work.contains(host->frameGeometry()))
        << "work area " << work.width() << "x" << work.height() << ", window "
        << host->frameGeometry().width() << "x" << host->frameGeometry().height();
    const QSize least = host->minimumSizeHint().expandedTo(host->minimumSize());
    EXPECT_LE(least.width(), work.width());
    EXPECT_LE(least.height(), work.height());
    QWidget* start = host->findChild<QWidget*>(QStringLiteral("startBtn"));
    ASSERT_NE(start, nullptr);
    EXPECT_TRUE(work.contains(QRect(start->mapToGlobal(QPoint(0, 0)), start->size())));
}

TEST(FitsTheScreen, DialogsKeepTheirSizeAndOfferNoMaximising) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    }
    UseTestSkins();
    TestWindow owner;
    owner.Create(kNoWindow, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);
    TestWindow dialog;
    ASSERT_NE(dialog.Create(owner.GetHWND(), {}, kBoxStyle, WS_EX_WINDOWEDGE), kNoWindow);
    QWidget* host = dialog.GetWidget();
    EXPECT_EQ(host->minimumSize(), host->maximumSize());
    EXPECT_FALSE(host->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    dialog.Close();
    SpinUntil([&dialog] { return !dialog.IsWindow(); });
}

} // namespace
} // namespace velquist::ui::test
