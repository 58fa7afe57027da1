#pragma once

#include "gui_driver.h"
#include "loopback_server.h"
#include "ui/window_impl_base.h"

#include <QString>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velquist::testing {

// Steps that keep the test main window open when a window never shows.
class Steps : public WindowSteps {
  public:
    Steps() : WindowSteps(QStringLiteral("AccountTestMain"), 10000) {}
};

// What the loopback service received.
struct ServiceLog {
    std::mutex mutex;
    std::vector<std::string> paths;
    std::string lastBody;
    int Count(const std::string& prefix);
};

// The main window of these tests: the four account links and nothing else.
class TestMainWindow : public ui::WindowImplBase {
  public:
    QString GetWindowClassName() const override { return QStringLiteral("AccountTestMain"); }
    QString GetSkinFile() override { return QStringLiteral("AccountTestMain.xml"); }
    bool Shows(const char* name);
    QString Text(const char* name);
};

// Runs the GUI thread until every account request has handed over its answer.
bool RequestsSettle();

// A loopback service with the account endpoints, a shown test main window, a logged-out
// user and no credential file.
class AccountDialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    void SetReply(const std::string& path, const std::string& reply);
    // While held, login, registration and reset keep their requests waiting (without
    // answering) until ReleaseReplies; TearDown releases them.
    void HoldReplies();
    void ReleaseReplies();
    static std::string AcceptedLogin(const std::string& phone);
    bool LoggedOutLook();
    bool LoggedInLook(const QString& name);

    LoopbackServer server_;
    ServiceLog log_;
    std::mutex replyMutex_;
    std::string loginReply_;
    std::string registerReply_;
    std::string forgotReply_;
    // Both code endpoints answer with this.
    std::string smsReply_ = "{\"ret\":0}";
    std::mutex holdMutex_;
    std::condition_variable holdReleased_;
    bool holdReplies_ = false;
    TestMainWindow* main_ = nullptr;
};

} // namespace velquist::testing
