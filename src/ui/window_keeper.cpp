#include "ui/window_keeper.h"

#include "ui/window_impl_base.h"

#include <QCoreApplication>
#include <QObject>
#include <map>

namespace velquist::ui {
namespace {

// Holds a released window until the event loop gets back to where it was
// released from.
class ReleasedWindow final : public QObject {
  public:
    explicit ReleasedWindow(std::unique_ptr<WindowImplBase> window) : window_(std::move(window)) {}

  private:
    std::unique_ptr<WindowImplBase> window_;
};

using KeptWindows = std::map<WindowImplBase*, std::unique_ptr<WindowImplBase>>;

KeptWindows& Kept() {
    // Never destroyed: a window still kept at exit must not be torn down after
    // the application object it lives on.
    static auto* kept = new KeptWindows;
    return *kept;
}

} // namespace

void KeepUntilGone(std::unique_ptr<WindowImplBase> window) {
    if (window != nullptr) {
        WindowImplBase* key = window.get();
        Kept()[key] = std::move(window);
    }
}

void ReleaseKeptWindow(WindowImplBase* window) {
    const auto it = Kept().find(window);
    if (it == Kept().end()) {
        return;
    }
    std::unique_ptr<WindowImplBase> released = std::move(it->second);
    Kept().erase(it);
    if (QCoreApplication::instance() == nullptr) {
        return; // released here and now
    }
    (new ReleasedWindow(std::move(released)))->deleteLater();
}

} // namespace velquist::ui
