#include "test_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <gtest/gtest.h>

namespace velquist::ui::test {
namespace {

class NotifyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseTestSkins();
        ASSERT_NE(w.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0), kNoWindow);
    }
    QAbstractButton* Button(const char* name) {
        return qobject_cast<QAbstractButton*>(
            w.FindControl(QString::fromLatin1(name))->GetWidget());
    }
    TestWindow w;
};

TEST_F(NotifyTest, ButtonClickCarriesSenderAndTag) {
    Button("okBtn")->click();
    ASSERT_EQ(w.notes.size(), 1u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("click"));
    EXPECT_EQ(w.notes[0].sender, QStringLiteral("okBtn"));
    EXPECT_EQ(w.notes[0].tag, 7);
}

TEST_F(NotifyTest, CheckBoxSendsSelectChangedThenClickWithNewState) {
    Button("image-exif")->click();
    ASSERT_EQ(w.notes.size(), 2u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("selectchanged"));
    EXPECT_EQ(w.notes[1].type, QStringLiteral("click"));
    EXPECT_EQ(w.notes[1].sender, QStringLiteral("image-exif"));
    EXPECT_EQ(w.notes[1].tag, 3);
    EXPECT_TRUE(w.notes[1].check);

    w.notes.clear();
    CControlUI* box = w.FindControl(QStringLiteral("image-exif"));
    box->SetCheck(false); // programmatic: selectchanged only
    ASSERT_EQ(w.notes.size(), 1u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("selectchanged"));
    box->SetCheck(true, false);
    EXPECT_EQ(w.notes.size(), 1u);
    EXPECT_TRUE(box->GetCheck());
}

TEST_F(NotifyTest, ComboSelectionSendsItemSelectUnlessSuppressed) {
    CControlUI* combo = w.FindControl(QStringLiteral("image-format"));
    ASSERT_TRUE(combo->SelectItem(1));
    ASSERT_EQ(w.notes.size(), 1u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("itemselect"));
    EXPECT_EQ(w.notes[0].sender, QStringLiteral("image-format"));
    EXPECT_EQ(combo->GetText(), QStringLiteral("png"));

    ASSERT_TRUE(combo->SelectItem(2, false, false));
    EXPECT_EQ(w.notes.size(), 1u);
    EXPECT_EQ(combo->GetCurSel(), 2);
}

TEST_F(NotifyTest, MenuItemSendsItemClickThenItemSelect) {
    Button("main_menu_item_quit")->click();
    ASSERT_EQ(w.notes.size(), 2u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("itemclick"));
    EXPECT_EQ(w.notes[0].sender, QStringLiteral("main_menu_item_quit"));
    EXPECT_EQ(w.notes[1].type, QStringLiteral("itemselect"));
}

TEST_F(NotifyTest, HandlerMayCloseItsWindowFromAClick) {
    auto* self = NewKeptWindow<TestWindow>();
    int finals = 0;
    self->finalCount = &finals;
    self->Create(kNoWindow, {}, WS_POPUP | WS_VISIBLE, 0);
    self->onNotify = [self](TNotifyUI& msg) {
        if (msg.sType == QLatin1String("click")) {
            self->Close(1);
        }
    };
    QAbstractButton* ok =
        qobject_cast<QAbstractButton*>(self->FindControl(QStringLiteral("okBtn"))->GetWidget());
    ok->click();
    EXPECT_TRUE(SpinUntil([&] { return finals == 1; }));
}

} // namespace
} // namespace velquist::ui::test
