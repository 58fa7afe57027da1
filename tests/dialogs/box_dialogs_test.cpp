#include "dialogs/dialog_base.h"
#include "dialogs/message_box_dialog.h"
#include "dialogs/prompt_box_dialog.h"
#include "dialogs/wnd_shadow.h"
#include "gui_driver.h"
#include "ui/paint_manager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

namespace velquist {
namespace {

using ::velquist::testing::ShownWindow;
using ::velquist::testing::WhenShown;

using ::velquist::testing::Click;

QString LabelText(QWidget* box) {
    auto* label = box->findChild<QLabel*>(QStringLiteral("msgText"));
    return label != nullptr ? label->text() : QStringLiteral("<none>");
}

template <typename Box> class Tracked : public Box {
  public:
    Tracked(const QString& text, bool* destroyed) : Box(nullptr, text), destroyed_(destroyed) {}
    ~Tracked() override { *destroyed_ = true; }

  private:
    bool* destroyed_;
};

// An ordinary window to own the boxes.
class OwnerWindow : public ui::WindowImplBase {
  public:
    QString GetWindowClassName() const override { return QStringLiteral("TestOwner"); }
    QString GetSkinFile() override { return QStringLiteral("PromptBox.xml"); }
};

class BoxTest : public ::testing::Test {
  protected:
    void SetUp() override { ui::CPaintManagerUI::SetResourcePath(VELQUIST_SKIN_DIR); }
};

TEST_F(BoxTest, MessageBoxConfirmGivesOneAndShowsTheText) {
    const QString text = QStringLiteral("当前有图片正在转换，确定要退出吗？");
    QString shown;
    WhenShown("MessageBoxDialog", [&shown](QWidget* box) {
        shown = LabelText(box);
        Click(box, "msgConfirm");
    });
    bool destroyed = false;
    EXPECT_EQ(
        ShowModalBox(std::make_unique<Tracked<MessageBoxDialog>>(text, &destroyed), ui::kNoWindow),
        1);
    EXPECT_EQ(shown, text);
    EXPECT_TRUE(destroyed);
}

TEST_F(BoxTest, MessageBoxCancelGivesZero) {
    WhenShown("MessageBoxDialog", [](QWidget* box) { Click(box, "msgCancel"); });
    bool destroyed = false;
    EXPECT_EQ(
        ShowModalBox(std::make_unique<Tracked<MessageBoxDialog>>("q", &destroyed), ui::kNoWindow),
        0);
    EXPECT_TRUE(destroyed);
}

TEST_F(BoxTest, PromptBoxConfirmGivesOneAndHasNoCancel) {
    bool hasCancel = true;
    QString shown;
    WhenShown("PromptBoxDialog", [&](QWidget* box) {
        hasCancel = box->findChild<QAbstractButton*>(QStringLiteral("msgCancel")) != nullptr;
        shown = LabelText(box);
        Click(box, "msgConfirm");
    });
    bool destroyed = false;
    EXPECT_EQ(ShowModalBox(std::make_unique<Tracked<PromptBoxDialog>>(
                               QStringLiteral("当前已是最新版本！"), &destroyed),
                           ui::kNoWindow),
              1);
    EXPECT_FALSE(hasCancel);
    EXPECT_EQ(shown, QStringLiteral("当前已是最新版本！"));
    EXPECT_TRUE(destroyed);
}

TEST_F(BoxTest, BoxesDropTheSystemCaption) {
    ui::DWORD style = 0;
    Qt::WindowFlags flags;
    auto boxOwned = std::make_unique<MessageBoxDialog>(nullptr, "q");
    auto* box = boxOwned.get();
    WhenShown("MessageBoxDialog", [&](QWidget* widget) {
        style = box->GetStyle();
        flags = widget->windowFlags();
        Click(widget, "msgConfirm");
    });
    EXPECT_EQ(ShowModalBox(std::move(boxOwned), ui::kNoWindow), 1);
    EXPECT_EQ(style & ui::WS_CAPTION, 0u);
    EXPECT_EQ(style & (ui::WS_CLIPSIBLINGS | ui::WS_CLIPCHILDREN),
              ui::WS_CLIPSIBLINGS | ui::WS_CLIPCHILDREN);
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
}

TEST_F(BoxTest, BoxWithoutOwnerBlocksNothingAndOwnedBoxBlocksItsOwner) {
    auto* owner = new OwnerWindow;
    ASSERT_NE(owner->Create(ui::kNoWindow, "owner", ui::WS_OVERLAPPEDWINDOW | ui::WS_VISIBLE, 0),
              ui::kNoWindow);
    QWindow* modalWithoutOwner = reinterpret_cast<QWindow*>(1);
    WhenShown("PromptBoxDialog", [&](QWidget* box) {
        modalWithoutOwner = QGuiApplication::modalWindow();
        Click(box, "msgConfirm");
    });
    EXPECT_EQ(ShowModalBox(std::make_unique<PromptBoxDialog>(nullptr, "p"), ui::kNoWindow), 1);
    EXPECT_EQ(modalWithoutOwner, nullptr);

    bool ownerBlocked = false;
    WhenShown("MessageBoxDialog", [&](QWidget* box) {
        ownerBlocked = QGuiApplication::modalWindow() != nullptr;
        Click(box, "msgCancel");
    });
    EXPECT_EQ(ShowModalBox(std::make_unique<MessageBoxDialog>(owner, "m"), owner->GetHWND()), 0);
    EXPECT_TRUE(ownerBlocked);
    owner->Close(0);
    QApplication::processEvents();
    delete owner;
}

TEST_F(BoxTest, EveryBoxIsANewObject) {
    int destroyed = 0;
    for (int i = 0; i < 3; ++i) {
        bool gone = false;
        WhenShown("PromptBoxDialog", [](QWidget* box) { Click(box, "msgConfirm"); });
        EXPECT_EQ(
            ShowModalBox(std::make_unique<Tracked<PromptBoxDialog>>("p", &gone), ui::kNoWindow), 1);
        destroyed += gone ? 1 : 0;
    }
    EXPECT_EQ(destroyed, 3);
}

TEST_F(BoxTest, MissingSkinFailsWithoutCrashingOrLeaking) {
    QTemporaryDir empty;
    ui::CPaintManagerUI::SetResourcePath(empty.path() + "/");
    bool destroyed = false;
    EXPECT_EQ(
        ShowModalBox(std::make_unique<Tracked<MessageBoxDialog>>("q", &destroyed), ui::kNoWindow),
        -1);
    EXPECT_TRUE(destroyed);
}

TEST_F(BoxTest, BoxCarriesAGreyShadowDirectlyAroundIt) {
    CWndShadow::Initialize(true);
    if (!CWndShadow::IsAvailable()) {
        GTEST_SKIP() << "shadows were switched off earlier in this process";
    }
    auto boxOwned = std::make_unique<MessageBoxDialog>(nullptr, "q");
    auto* box = boxOwned.get();
    QRect boxRect;
    QRect shadowRect;
    ShadowSettings settings;
    WhenShown("MessageBoxDialog", [&](QWidget* widget) {
        QApplication::processEvents();
        settings = box->Shadow().Settings();
        boxRect = widget->geometry();
        if (box->Shadow().ShadowWindow() != nullptr && box->Shadow().ShadowWindow()->isVisible()) {
            shadowRect = box->Shadow().ShadowWindow()->geometry();
        }
        Click(widget, "msgConfirm");
    });
    EXPECT_EQ(ShowModalBox(std::move(boxOwned), ui::kNoWindow), 1);
    EXPECT_EQ(settings.size, 4);
    EXPECT_EQ(settings.xOffset, 0);
    EXPECT_EQ(settings.yOffset, 0);
    EXPECT_EQ(settings.color, 0x9D9D9Eu);
    EXPECT_EQ(shadowRect, boxRect.adjusted(-4, -4, 4, 4));
}

TEST(DialogPattern, ShadowColourTextIsReadAsRedGreenBlue) {
    std::uint32_t color = 0;
    ASSERT_TRUE(ParseShadowColor("#9E9D9D", &color));
    EXPECT_EQ(color, 0x9D9D9Eu);
    ASSERT_TRUE(ParseShadowColor("#0a0B0c", &color));
    EXPECT_EQ(color, 0x0C0B0Au);
    EXPECT_FALSE(ParseShadowColor("9E9D9D", &color));
    EXPECT_FALSE(ParseShadowColor("#9E9D9", &color));
    EXPECT_FALSE(ParseShadowColor("#9E9D9DFF", &color));
    EXPECT_FALSE(ParseShadowColor(nullptr, &color));
}

TEST(DialogPattern, GuardedOperationsReportClassAndOperation) {
    try {
        Guarded("MessageBoxDialog::Init", []() -> int { throw std::bad_alloc(); });
        FAIL() << "nothing thrown";
    } catch (const DialogError& e) {
        EXPECT_STREQ(e.what(), "MessageBoxDialog::Init: std::bad_alloc");
    }
    // What went wrong stays beside where: a skin lacking a control says which.
    try {
        Guarded("CMainWnd::Init", [] { throw std::runtime_error("the skin lacks help"); });
        FAIL() << "nothing thrown";
    } catch (const DialogError& e) {
        EXPECT_STREQ(e.what(), "CMainWnd::Init: the skin lacks help");
    }
    // Labelled once, where it was first caught, however deep the guards nest.
    try {
        Guarded("Outer::Op", [] { Guarded("Inner::Op", [] { throw std::runtime_error("x"); }); });
        FAIL() << "nothing thrown";
    } catch (const DialogError& e) {
        EXPECT_STREQ(e.what(), "Inner::Op: x");
    }
    try {
        Guarded("Box::Init", [] { throw 42; });
        FAIL() << "nothing thrown";
    } catch (const DialogError& e) {
        EXPECT_STREQ(e.what(), "Box::Init");
    }
    EXPECT_EQ(Guarded("PromptBoxDialog::GetSkinFile", [] { return 7; }), 7);
}

} // namespace
} // namespace velquist
