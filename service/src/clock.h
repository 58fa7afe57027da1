#pragma once

#include <cstdint>
#include <functional>

namespace velquist::service {

// Seconds since the epoch. Injected so that tests can move time past the
// code lifetime and the lockout without sleeping.
using Clock = std::function<std::int64_t()>;

Clock SystemClock();

} // namespace velquist::service
