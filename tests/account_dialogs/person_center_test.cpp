#include "account/credential_store.h"
#include "account/user_info.h"
#include "account_dialogs.h"
#include "dialog_test_support.h"
#include "ui/control.h"

#include <QApplication>
#include <QWidget>
#include <filesystem>

namespace velquist::testing {
namespace {

const QString kCentre = QStringLiteral("个人中心");

class PersonCenterTest : public AccountDialogTest {
  protected:
    void SetUp() override {
        AccountDialogTest::SetUp();
        UserRecord record;
        record.id = 42;
        record.mobilephone = "13800138000";
        UserInfo::Instance()->Set(record);
        ASSERT_TRUE(SaveCredentials("13800138000", "secret"));
        ShowLoggedInState(main_, QStringLiteral("13800138000"));
        SpinUntil([] { return false; }, 20); // let the header lay out
    }
};

TEST_F(PersonCenterTest, ShowsTheAccountUnderTheUsernameWithoutTitleBar) {
    OpenPersonCenter(main_);
    QWidget* panel = nullptr;
    ASSERT_TRUE(SpinUntil([&panel] { return (panel = ShownWindow(kCentre)) != nullptr; }));
    EXPECT_EQ(TextOf(panel, "account"), "13800138000");
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::FramelessWindowHint));

    ui::CControlUI* username = main_->FindControl(QStringLiteral("username"));
    const QRect label = username->GetPos();
    const QPoint origin = main_->GetWidget()->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(PersonCenterPosition(main_), QPoint(origin.x() + label.left() - label.width() / 2,
                                                  origin.y() + label.top() + label.height() + 6));
    EXPECT_EQ(panel->pos(), PersonCenterPosition(main_));
    panel->close();
    SpinUntil([] { return ShownWindow(kCentre) == nullptr; });
}

TEST_F(PersonCenterTest, LogoutDeletesTheFileAndShowsTheLoggedOutLook) {
    OpenPersonCenter(main_);
    QWidget* panel = nullptr;
    ASSERT_TRUE(SpinUntil([&panel] { return (panel = ShownWindow(kCentre)) != nullptr; }));
    Click(panel, "logout");
    EXPECT_TRUE(SpinUntil([] { return ShownWindow(kCentre) == nullptr; }));
    EXPECT_FALSE(std::filesystem::exists(CredentialFilePath()));
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_EQ(UserInfo::Instance()->Get().id, 42); // only the number is forgotten
    EXPECT_TRUE(LoggedOutLook());
    // What the feedback form asks before it sends anything.
    EXPECT_TRUE(UserInfo::Instance()->mobilephone().empty());
}

TEST_F(PersonCenterTest, LosingActivationClosesWithoutLoggingOut) {
    OpenPersonCenter(main_);
    QWidget* panel = nullptr;
    ASSERT_TRUE(SpinUntil([&panel] { return (panel = ShownWindow(kCentre)) != nullptr; }));
    panel->activateWindow();
    SpinUntil([panel] { return QApplication::activeWindow() == panel; }, 500);
    main_->GetWidget()->activateWindow();
    EXPECT_TRUE(SpinUntil([] { return ShownWindow(kCentre) == nullptr; }, 2000));
    EXPECT_TRUE(UserInfo::Instance()->LoggedIn());
    EXPECT_TRUE(std::filesystem::exists(CredentialFilePath()));
    EXPECT_TRUE(LoggedInLook("13800138000"));
}

} // namespace
} // namespace velquist::testing
