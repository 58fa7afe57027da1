#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace velquist::testing {

// The shown top-level window whose object name (the window class name) is className.
QWidget* ShownWindow(const QString& className);

// Acts on the window once a modal loop shows it; polled from the GUI thread.
void WhenShown(const QString& className, std::function<void(QWidget*)> act);

// Acts on windows as modal loops show them, one after the other: each step waits for its
// window, arms the next one and then acts (an action may start a nested loop). A window
// that never shows fails the test and closes every window but keepWindowClass, so the
// waiting loop ends instead of hanging.
class WindowSteps {
  public:
    WindowSteps(QString keepWindowClass, int patienceMs);
    WindowSteps& Then(const QString& className, std::function<void(QWidget*)> act);
    void Start();
    // How many steps have acted.
    int Done() const { return state_->done; }

  private:
    struct Step {
        QString className;
        std::function<void(QWidget*)> act;
    };
    // Shared with the polling timers, which may outlive a failed test's steps.
    struct State {
        QString keep;
        int patienceMs = 0;
        std::vector<Step> steps;
        int done = 0;
    };
    static void Arm(const std::shared_ptr<State>& state, std::size_t index);

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

void Click(QWidget* window, const char* name);
// Sets the text of a line edit or plain-text edit child.
void Type(QWidget* window, const char* name, const QString& text);
// The text of a label, edit or button child.
QString TextOf(QWidget* window, const char* name);

// Closes every shown top-level window but the one whose class is keep.
void CloseStrayWindows(const QString& keep);

// Runs the GUI thread's events until done() holds or the time is up.
bool SpinUntil(const std::function<bool()>& done, int ms = 5000);
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return SpinUntil(done, static_cast<int>(limit.count()));
}

} // namespace velquist::testing
