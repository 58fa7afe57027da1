#include "test_window.h"
#include "ui/messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace velquist::ui::test {
namespace {

constexpr DWORD kBoxStyle = 0x96C80000u;

class ModalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseTestSkins();
        owner.Create(kNoWindow, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);
    }
    TestWindow owner;
};

// A box nobody holds: created, centred, shown modally and released once gone.
int ShowBox(HWND ownerHwnd, const std::function<void(TestWindow*)>& whileShown, int* finals) {
    auto* box = NewKeptWindow<TestWindow>();
    box->finalCount = finals;
    box->Create(ownerHwnd, {}, kBoxStyle, WS_EX_WINDOWEDGE);
    box->CenterWindow();
    QTimer::singleShot(0, [box, whileShown] { whileShown(box); });
    return box->ShowModal();
}

TEST_F(ModalTest, ShowModalReturnsTheCodeGivenToClose) {
    int finals = 0;
    for (const int code : {1, 0}) {
        const int got = ShowBox(
            owner.GetHWND(), [code](TestWindow* b) { b->Close(static_cast<UINT>(code)); }, &finals);
        EXPECT_EQ(got, code);
    }
    EXPECT_EQ(finals, 2); // each box deleted itself
}

TEST_F(ModalTest, ButtonClickClosesWithItsCodeAndOwnerInputIsBlocked) {
    int finals = 0;
    bool ownerBlocked = false;
    const int got = ShowBox(
        owner.GetHWND(),
        [&](TestWindow* b) {
            ownerBlocked = QApplication::activeModalWidget() == b->GetWidget() &&
                           b->GetWidget()->windowModality() == Qt::WindowModal;
            b->onNotify = [b](TNotifyUI& msg) {
                if (msg.sType == QLatin1String("click") &&
                    msg.pSender->GetName() == QLatin1String("cancelBtn")) {
                    b->Close(0);
                } else if (msg.sType == QLatin1String("click")) {
                    b->Close(1);
                }
            };
            qobject_cast<QAbstractButton*>(b->FindControl(QStringLiteral("okBtn"))->GetWidget())
                ->click();
        },
        &finals);
    EXPECT_EQ(got, 1);
    EXPECT_TRUE(ownerBlocked);
    EXPECT_EQ(finals, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ModalTest, NestedModalsReturnInnermostFirst) {
    int finals = 0;
    std::vector<int> order;
    const int outer = ShowBox(
        owner.GetHWND(),
        [&](TestWindow* a) {
            const int inner = ShowBox(
                a->GetHWND(), [](TestWindow* b) { b->Close(5); }, &finals);
            order.push_back(inner);
            a->Close(7);
        },
        &finals);
    order.push_back(outer);
    EXPECT_EQ(order, (std::vector<int>{5, 7}));
    EXPECT_EQ(finals, 2);
}

TEST_F(ModalTest, BoxWithoutOwnerLeavesOtherWindowsUsable) {
    int finals = 0;
    bool modalOwnerless = false;
    ShowBox(
        kNoWindow,
        [&](TestWindow* b) {
            modalOwnerless = b->GetWidget()->windowModality() == Qt::NonModal;
            b->Close(1);
        },
        &finals);
    EXPECT_TRUE(modalOwnerless);
}

TEST_F(ModalTest, SystemCloseGivesZeroAndOnCloseMayRefuse) {
    int finals = 0;
    const int got = ShowBox(
        owner.GetHWND(),
        [](TestWindow* b) {
            b->refuseClose = true;
            b->GetWidget()->close(); // refused: the window stays
            QTimer::singleShot(0, [b] { // the refused close has run its course
                EXPECT_TRUE(b->IsWindow());
                b->refuseClose = false;
                b->GetWidget()->close();
            });
        },
        &finals);
    EXPECT_EQ(got, 0);
}

TEST_F(ModalTest, DestroyingTheOwnerEndsItsModalBox) {
    auto* top = NewKeptWindow<TestWindow>();
    int finals = 0;
    top->finalCount = &finals;
    top->Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0);
    const int got = ShowBox(
        top->GetHWND(), [top](TestWindow*) { top->Close(1); }, &finals);
    // The box went with its owner, as owned windows do.
    EXPECT_EQ(got, 0);
    EXPECT_EQ(finals, 2);
}

TEST_F(ModalTest, CenterWindowCentresOverTheOwner) {
    TestWindow box;
    box.Create(owner.GetHWND(), {}, kBoxStyle & ~WS_VISIBLE, 0);
    box.CenterWindow();
    const QPoint delta = box.GetWindowRect().center() - owner.GetWindowRect().center();
    EXPECT_LE(std::abs(delta.x()), 1);
    EXPECT_LE(std::abs(delta.y()), 1);
}

} // namespace
} // namespace velquist::ui::test

namespace velquist::ui::test {
namespace {

class ThrowingWindow final : public TestWindow {
  public:
    void InitWindow() override { throw "ThrowingWindow::Init"; }
};

TEST_F(ModalTest, ThrowingInitWindowFailsCreateInsteadOfAborting) {
    auto* w = NewKeptWindow<ThrowingWindow>();
    int finals = 0;
    w->finalCount = &finals;
    EXPECT_EQ(w->Create(owner.GetHWND(), {}, kBoxStyle, 0), kNoWindow);
    EXPECT_EQ(w->ShowModal(), -1);
    EXPECT_EQ(finals, 1);
}

TEST_F(ModalTest, ThrowingNotifyDoesNotUnwindThroughQt) {
    owner.onNotify = [](TNotifyUI&) { throw std::runtime_error("handler failed"); };
    qobject_cast<QAbstractButton*>(owner.FindControl(QStringLiteral("okBtn"))->GetWidget())
        ->click();
    EXPECT_EQ(owner.notes.size(), 1u);
}

} // namespace
} // namespace velquist::ui::test

namespace velquist::ui::test {
namespace {

// When the program quits while a box is up, the box's loop ends without Close; closing
// the still-living box afterwards must not reach back into the finished ShowModal.
TEST_F(ModalTest, QuittingUnderAModalBoxLeavesTheBoxSafeToClose) {
    int finals = 0;
    TestWindow* shown = nullptr;
    ShowBox(
        owner.GetHWND(),
        [&shown](TestWindow* b) {
            shown = b;
            QCoreApplication::exit(0);
        },
        &finals);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(finals, 0) << "the box outlives its loop";
    shown->Close(1);
    EXPECT_TRUE(SpinUntil([&finals] { return finals == 1; }));
    ASSERT_TRUE(SpinPastPosted());
    EXPECT_EQ(finals, 1);
}

} // namespace
} // namespace velquist::ui::test
