#pragma once

#include <cstdio>
#include <exception>
#include <utility>

namespace velquist::ui {

// Runs a window's own code where Qt's event dispatch sits below us. An
// exception must not unwind through Qt (that aborts the program), so it is
// reported on stderr and the call counts as failed.
template <class F> bool GuardedCall(const char* where, F&& f) {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", where, e.what());
    } catch (const char* text) {
        std::fprintf(stderr, "%s: %s\n", where, text);
    } catch (...) {
        std::fprintf(stderr, "%s: unknown exception\n", where);
    }
    return false;
}

} // namespace velquist::ui
