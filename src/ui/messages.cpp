#include "ui/messages.h"

#include "ui/guarded_call.h"
#include "ui/host_widget.h"
#include "ui/window_registry.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <mutex>
#include <unordered_map>

namespace velquist::ui {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, HostWidget*> live;
    HWND next = 1;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

HWND RegisterWindow(HostWidget* host) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const HWND hwnd = r.next++;
    r.live.emplace(hwnd, host);
    return hwnd;
}

void UnregisterWindow(HWND hwnd) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.live.erase(hwnd);
}

HostWidget* HostFromHandle(HWND hwnd) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const auto it = r.live.find(hwnd);
    return it == r.live.end() ? nullptr : it->second;
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DroppedMessageFn dropped) {
    auto& r = TheRegistry();
    // Posting under the lock: the window cannot leave the registry, and so its
    // widget cannot be deleted, between the look-up and the post.
    std::lock_guard lock(r.mutex);
    const auto it = r.live.find(hwnd);
    if (it == r.live.end()) {
        return false;
    }
    QCoreApplication::postEvent(it->second, new MessageEvent(msg, wParam, lParam, dropped));
    return true;
}

bool PostToWindow(HWND hwnd, std::function<void()> call) {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex); // as in PostMessage: the widget stays until queued
    const auto it = r.live.find(hwnd);
    if (it == r.live.end() || !call) {
        return false;
    }
    // Queued on the widget, so Qt discards the call with the widget; the handle
    // check covers the stretch between the window going and its widget's
    // deferred deletion.
    QMetaObject::invokeMethod(
        it->second,
        [hwnd, call = std::move(call)] {
            if (WindowFromHandle(hwnd) != nullptr) {
                GuardedCall("PostToWindow", call);
            }
        },
        Qt::QueuedConnection);
    return true;
}

bool IsWindow(HWND hwnd) {
    return HostFromHandle(hwnd) != nullptr;
}

WindowImplBase* WindowFromHandle(HWND hwnd) {
    HostWidget* host = HostFromHandle(hwnd);
    return host == nullptr ? nullptr : host->window();
}

} // namespace velquist::ui
