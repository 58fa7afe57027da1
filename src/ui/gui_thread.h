#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>
#include <optional>
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
// not be waiting for the caller meanwhile.
template <class F> auto RunOnGuiThread(F&& f) -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  if (IsGuiThread()) {
    return f();
  }
  // An exception must not unwind through Qt's event dispatch: it travels
  // back to the waiting caller instead.
  std::exception_ptr failure;
  if constexpr (std::is_void_v<R>) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&f, &failure] {
          try {
            f();
          } catch (...) {
            failure = std::current_exception();
          }
        },
        Qt::BlockingQueuedConnection);
    if (failure) {
      std::rethrow_exception(failure);
    }
  } else {
    std::optional<R> result;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&f, &result, &failure] {
          try {
            result.emplace(f());
          } catch (...) {
            failure = std::current_exception();
          }
        },
        Qt::BlockingQueuedConnection);
    if (failure) {
      std::rethrow_exception(failure);
    }
    return std::move(*result);
  }
}

} // namespace velquist::ui
