#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace velquist::e2e {

// The main window's class name, which is also its widget's object name.
inline const QString kMainWindowClass = QStringLiteral("HEIC图片转换器");

// Generous: the machine may be busy with other builds while these tests run.
inline constexpr int kPatienceMs = 20000;

// The shown top-level window whose object name (its window class) is className.
QWidget* ShownWindow(const QString& className);

// Runs the event loop until pred holds or ms pass; the final verdict of pred.
bool SpinUntil(const std::function<bool()>& pred, int ms = kPatienceMs);

// Acts on windows as modal loops show them, one after the other: each step waits for its
// window, arms the next one and then acts (an action may start a nested loop).
class Steps {
  public:
    Steps& Then(const QString& className, std::function<void(QWidget*)> act);
    void Start();
    int Done() const { return state_->done; }

  private:
    struct Step {
        QString className;
        std::function<void(QWidget*)> act;
    };
    // Shared with the polling timers, which may outlive a failed test's Steps.
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

// Closes every shown top-level window but the one whose class is keep.
void CloseStrayWindows(const QString& keep);

} // namespace velquist::e2e
