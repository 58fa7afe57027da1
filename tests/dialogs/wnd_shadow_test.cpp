#include "dialogs/wnd_shadow.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace velquist {
namespace {

TEST(CWndShadowSetters, OutOfRangeValuesAreRefusedAndChangeNothing) {
    CWndShadow shadow;
    ASSERT_TRUE(shadow.SetSize(4));
    ASSERT_TRUE(shadow.SetPosition(1, 2));
    EXPECT_FALSE(shadow.SetSize(21));
    EXPECT_FALSE(shadow.SetSize(-21));
    EXPECT_FALSE(shadow.SetPosition(0, -21));
    EXPECT_FALSE(shadow.SetPosition(21, 0));
    EXPECT_EQ(shadow.Settings().size, 4);
    EXPECT_EQ(shadow.Settings().xOffset, 1);
    EXPECT_EQ(shadow.Settings().yOffset, 2);
    EXPECT_TRUE(shadow.SetSize(-20));
    EXPECT_TRUE(shadow.SetPosition(20, -20));
}

TEST(CWndShadowOff, WithoutBlendingNoShadowWindowIsMade) {
    if (CWndShadow::IsAvailable()) {
        GTEST_SKIP() << "shadows were switched on earlier in this process";
    }
    EXPECT_FALSE(CWndShadow::Initialize(false));
    EXPECT_FALSE(CWndShadow::Initialize(true)); // only the first call counts
    QWidget parent;
    parent.setMask(QRegion(0, 0, 100, 50));
    CWndShadow shadow;
    shadow.Create(&parent);
    parent.show();
    EXPECT_EQ(shadow.ShadowWindow(), nullptr);
    EXPECT_TRUE(shadow.SetSize(4)); // setters still store
    EXPECT_EQ(shadow.Settings().size, 4);
}

class CWndShadowFollows : public ::testing::Test {
  protected:
    void SetUp() override {
        CWndShadow::Initialize(true);
        if (!CWndShadow::IsAvailable()) {
            GTEST_SKIP() << "shadows were switched off earlier in this process";
        }
        parent_ = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        parent_->setGeometry(100, 80, 300, 200);
        parent_->setMask(QRegion(0, 0, 300, 200));
        shadow_ = std::make_unique<CWndShadow>();
        shadow_->Create(parent_.get());
        shadow_->SetSize(4);
        shadow_->SetPosition(0, 0);
        shadow_->SetColor(0x9D9D9E);
    }

    void ShowParent() {
        parent_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(parent_.get()));
        QApplication::processEvents();
    }

    QWidget* Shadow() const { return shadow_->ShadowWindow(); }

    std::unique_ptr<QWidget> parent_;
    std::unique_ptr<CWndShadow> shadow_;
};

TEST_F(CWndShadowFollows, HiddenParentLeavesTheShadowEnabledOnly) {
    ASSERT_NE(Shadow(), nullptr);
    EXPECT_EQ(shadow_->GetStatus(), CWndShadow::kEnabled);
    EXPECT_FALSE(Shadow()->isVisible());
}

TEST_F(CWndShadowFollows, ShownParentGetsAShadowAroundIt) {
    ShowParent();
    ASSERT_TRUE(Shadow()->isVisible());
    EXPECT_EQ(shadow_->GetStatus(),
              CWndShadow::kEnabled | CWndShadow::kShadowVisible | CWndShadow::kParentVisible);
    EXPECT_EQ(Shadow()->geometry(), QRect(96, 76, 308, 208));
    EXPECT_TRUE(Shadow()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(Shadow()->windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(Shadow()->windowFlags().testFlag(Qt::Tool));
}

TEST_F(CWndShadowFollows, MovesAndResizesWithTheParent) {
    ShowParent();
    parent_->move(200, 150);
    QApplication::processEvents();
    EXPECT_EQ(Shadow()->pos(), QPoint(196, 146));

    parent_->setMask(QRegion(0, 0, 200, 100));
    parent_->resize(200, 100); // shrinking redraws at once
    QApplication::processEvents();
    EXPECT_EQ(Shadow()->size(), QSize(208, 108));

    parent_->setMask(QRegion(0, 0, 400, 300));
    parent_->resize(400, 300); // growing redraws at the next paint
    QApplication::processEvents();
    parent_->repaint();
    QApplication::processEvents();
    EXPECT_EQ(Shadow()->size(), QSize(408, 308));
}

TEST_F(CWndShadowFollows, HidesWithTheParentAndComesBack) {
    ShowParent();
    parent_->hide();
    QApplication::processEvents();
    EXPECT_FALSE(Shadow()->isVisible());
    EXPECT_EQ(shadow_->GetStatus(), CWndShadow::kEnabled);

    ShowParent();
    EXPECT_TRUE(Shadow()->isVisible());

    parent_->showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(Shadow()->isVisible());
    parent_->showNormal();
    QApplication::processEvents();
    EXPECT_TRUE(Shadow()->isVisible());
}

TEST_F(CWndShadowFollows, ShadowWindowGoesWithTheParent) {
    ShowParent();
    QPointer<QWidget> window = Shadow();
    parent_.reset();
    EXPECT_TRUE(window.isNull());
}

TEST_F(CWndShadowFollows, DetachedShadowLeavesNoWindowBehind) {
    ShowParent();
    QPointer<QWidget> window = Shadow();
    shadow_.reset();
    EXPECT_TRUE(window.isNull());
    parent_->move(10, 10); // no filter left to reach a dead object
    QApplication::processEvents();
}

TEST_F(CWndShadowFollows, TwoParentsKeepTheirOwnShadows) {
    ShowParent();
    QWidget other(nullptr, Qt::FramelessWindowHint);
    other.setGeometry(500, 300, 100, 60);
    other.setMask(QRegion(0, 0, 100, 60));
    CWndShadow second;
    second.Create(&other);
    second.SetSize(4);
    second.SetPosition(0, 0);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    QApplication::processEvents();
    ASSERT_NE(second.ShadowWindow(), Shadow());
    EXPECT_EQ(second.ShadowWindow()->geometry(), QRect(496, 296, 108, 68));
    EXPECT_EQ(Shadow()->geometry(), QRect(96, 76, 308, 208));
}

} // namespace
} // namespace velquist
