#pragma once

#include <string>

namespace velquist::test {

// Children of this process whose program name is `name` (as /proc shows it: at most its
// first 15 bytes) and that are not reaped yet.
int LiveChildren(const std::string& name);

} // namespace velquist::test
