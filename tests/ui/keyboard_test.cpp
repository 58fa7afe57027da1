#include "test_window.h"
#include "ui/focus_mark.h"
#include "ui/keyboard.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace velquist::ui::test {
namespace {

constexpr DWORD kBoxStyle = 0x96C80000u & ~WS_VISIBLE;

void Press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
}

class KeyboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseTestSkins();
        ASSERT_NE(w.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0), kNoWindow);
        QApplication::setActiveWindow(w.GetWidget());
        SpinUntil([this] { return w.GetWidget()->isActiveWindow(); }, 1000);
        if (QWidget* focused = QApplication::focusWidget()) {
            focused->clearFocus();
        }
    }
    QWidget* Root() { return w.GetWidget(); }
    QString Focused() {
        QWidget* f = QApplication::focusWidget();
        return f != nullptr ? f->objectName() : QString();
    }
    void Tab(bool forward = true) {
        QWidget* from =
            QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : Root();
        Press(from, forward ? Qt::Key_Tab : Qt::Key_Backtab,
              forward ? Qt::NoModifier : Qt::ShiftModifier);
    }

    TestWindow w{QStringLiteral("Keys.xml")};
};

TEST_F(KeyboardTest, TabWalksTheControlsInTheOrderTheyAppear) {
    QStringList seen;
    for (int i = 0; i < 6; ++i) {
        Tab();
        seen << Focused();
    }
    // Rows from the top, left to right; hidden controls are skipped; it wraps.
    EXPECT_EQ(seen, (QStringList{"phone", "codeBtn", "cancelBtn", "okBtn", "iconOnly", "phone"}));
    Tab(false);
    EXPECT_EQ(Focused(), QStringLiteral("iconOnly"));
    Tab(false);
    EXPECT_EQ(Focused(), QStringLiteral("okBtn"));
}

TEST_F(KeyboardTest, EnterPressesTheFocusedButtonElseTheDefaultOne) {
    Tab(); // the phone field
    ASSERT_EQ(Focused(), QStringLiteral("phone"));
    Press(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_FALSE(w.notes.empty());
    EXPECT_EQ(w.notes.back().sender, QStringLiteral("okBtn"));
    Tab(); // the code button
    Press(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(w.notes.back().sender, QStringLiteral("codeBtn"));
    const std::size_t before = w.notes.size();
    Press(QApplication::focusWidget(), Qt::Key_Space);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &release);
    ASSERT_GT(w.notes.size(), before);
    EXPECT_EQ(w.notes.back().sender, QStringLiteral("codeBtn"));
}

TEST_F(KeyboardTest, EscapeClosesABoxLikeItsCloseButtonButNotTheMainWindow) {
    Press(Root(), Qt::Key_Escape);
    ASSERT_TRUE(SpinPastPosted()); // a close the key asked for would have come by now
    EXPECT_TRUE(w.IsWindow());

    auto* box = NewKeptWindow<TestWindow>(QStringLiteral("Keys.xml"));
    box->Create(w.GetHWND(), {}, kBoxStyle, WS_EX_WINDOWEDGE);
    QTimer::singleShot(0, [box] { Press(box->GetWidget(), Qt::Key_Escape); });
    EXPECT_EQ(box->ShowModal(), 0);
}

TEST_F(KeyboardTest, TheFocusMarkFollowsTheKeyboardAndLeavesWithTheMouse) {
    Tab();
    QWidget* phone = QApplication::focusWidget();
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(MarkedControl(), phone);
    QWidget* mark = Root()->findChild<QWidget*>(QStringLiteral("vqFocusMark"));
    ASSERT_NE(mark, nullptr);
    const QRect around(phone->mapTo(Root(), QPoint(0, 0)), phone->size());
    EXPECT_TRUE(mark->geometry().contains(around));
    EXPECT_TRUE(mark->isVisible());
    Tab();
    EXPECT_EQ(MarkedControl(), QApplication::focusWidget());

    QWidget* ok = Root()->findChild<QWidget*>(QStringLiteral("okBtn"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), ok->mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ok, &press);
    EXPECT_EQ(MarkedControl(), nullptr);
    EXPECT_FALSE(mark->isVisible());
}

TEST_F(KeyboardTest, EveryControlHasANameAScreenReaderReads) {
    for (const char* name : {"okBtn", "codeBtn", "cancelBtn", "phone", "iconOnly"}) {
        QWidget* control = Root()->findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(control, nullptr) << name;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << name;
    }
    EXPECT_EQ(Root()->findChild<QWidget*>(QStringLiteral("phone"))->accessibleName(),
              QStringLiteral("请输入手机号"));
    EXPECT_EQ(Root()->findChild<QWidget*>(QStringLiteral("iconOnly"))->accessibleName(),
              QStringLiteral("关闭"));
}

TEST_F(KeyboardTest, AnErrorGoesWhenTheInputChangesOrTheUserAsksAgain) {
    CControlUI* tips = w.FindControl(QStringLiteral("errorTips"));
    ASSERT_NE(tips, nullptr);
    tips->SetText(QStringLiteral("手机号不能为空!"));
    Tab(); // the phone field
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
    QApplication::sendEvent(QApplication::focusWidget(), &typed);
    EXPECT_TRUE(tips->GetText().isEmpty());

    // A new answer replaces the old error; the old one never stays beside it.
    w.onNotify = [tips](TNotifyUI& msg) {
        if (msg.sType == QLatin1String("click")) {
            EXPECT_TRUE(tips->GetText().isEmpty()) << "the old error was still shown";
            tips->SetText(QStringLiteral("验证码发送失败!"));
        }
    };
    tips->SetText(QStringLiteral("手机号不能为空!"));
    w.FindControl(QStringLiteral("codeBtn"))->GetWidget()->setFocus();
    Press(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(tips->GetText(), QStringLiteral("验证码发送失败!"));
}

} // namespace
} // namespace velquist::ui::test
