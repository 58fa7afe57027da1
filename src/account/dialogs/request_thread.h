#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

namespace velquist {

// Whether the dialog that started a request still exists. The dialog holds one and
// clears it when it goes; the request's answer checks it on the GUI thread before it
// touches the dialog, and the request itself may ask it (from any thread) before it
// applies anything the dialog would have shown.
using DialogAlive = std::shared_ptr<std::atomic<bool>>;

inline DialogAlive MakeDialogAlive() {
    return std::make_shared<std::atomic<bool>>(true);
}

// Requests still running or whose answer still waits for the GUI thread.
int AccountRequestsInFlight();
void CountAccountRequest(int delta);

// Runs work on a thread of its own and hands its result, by value, to done on the GUI
// thread. done always runs (it decides what a closed dialog means), unless the
// application is gone by then. The GUI thread never waits for work.
template <class R> void RunOffGuiThread(std::function<R()> work, std::function<void(R)> done) {
    CountAccountRequest(1);
    std::thread([work = std::move(work), done = std::move(done)]() mutable {
        R result = work();
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            CountAccountRequest(-1);
            return;
        }
        QMetaObject::invokeMethod(
            app,
            [done = std::move(done), result = std::move(result)] {
                done(result);
                CountAccountRequest(-1);
            },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace velquist
