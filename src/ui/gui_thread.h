#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <exception>
#include <future>
#include <type_traits>
#include <utility>

namespace velquist::ui {

inline bool IsGuiThread() {
    auto* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Runs f on the GUI thread and returns its result. On the GUI thread itself it
// calls f directly (a blocking hand-over to oneself would never return). From
// another thread it waits until the GUI thread has run f; the GUI thread must
// not be waiting for the caller meanwhile. An exception thrown by f does not
// unwind through Qt's event dispatch: it is rethrown to the waiting caller.
template <class F> auto RunOnGuiThread(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (IsGuiThread()) {
        return f();
    }
    // A promise rather than a blocking queued connection: the hand-over is then
    // a plain C++ synchronisation that thread checkers understand.
    std::promise<R> done;
    std::future<R> result = done.get_future();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&f, &done] {
            try {
                if constexpr (std::is_void_v<R>) {
                    f();
                    done.set_value();
                } else {
                    done.set_value(f());
                }
            } catch (...) {
                done.set_exception(std::current_exception());
            }
        },
        Qt::QueuedConnection);
    return result.get();
}

} // namespace velquist::ui
