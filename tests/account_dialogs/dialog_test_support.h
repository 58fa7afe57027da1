#pragma once

#include "loopback_server.h"
#include "ui/window_impl_base.h"

#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velquist::testing {

// The top-level widget of the shown window with that class name, or null.
QWidget* ShownWindow(const QString& className);

// Acts on windows as their modal loops show them, one after the other: each step waits
// for its window, arms the next step and then acts (an action may start a nested loop).
class Steps {
  public:
    Steps& Then(const QString& className, std::function<void(QWidget*)> act);
    void Start();
    // How many steps have acted.
    int Done() const { return state_->done; }

  private:
    struct Step {
        QString className;
        std::function<void(QWidget*)> act;
    };
    // Shared with the timers, which may outlive a failed test's Steps.
    struct State {
        std::vector<Step> steps;
        int done = 0;
    };
    static void Arm(const std::shared_ptr<State>& state, std::size_t index);

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

void Click(QWidget* window, const char* name);
void Type(QWidget* window, const char* name, const QString& text);
// The text of a label, edit or button child.
QString TextOf(QWidget* window, const char* name);
// Runs the event loop until pred holds or ms pass.
bool SpinUntil(const std::function<bool()>& pred, int ms = 5000);

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

// A loopback service with the account endpoints, a shown test main window, a logged-out
// user and no credential file.
class AccountDialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    void SetReply(const std::string& path, const std::string& reply);
    static std::string AcceptedLogin(const std::string& phone);
    bool LoggedOutLook();
    bool LoggedInLook(const QString& name);

    LoopbackServer server_;
    ServiceLog log_;
    std::mutex replyMutex_;
    std::string loginReply_;
    std::string registerReply_;
    std::string forgotReply_;
    std::atomic<bool> smsFails_{false};
    TestMainWindow* main_ = nullptr;
};

} // namespace velquist::testing
