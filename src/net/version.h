#pragma once

#include <string>

namespace velquist {

// The program's own version, compiled in.
inline constexpr const char* LocalVersion = "1.0.1";

struct VersionTriple {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The first three pieces of a dotted text (empty pieces skipped, so "1..0.2" is 1.0.2),
// each a decimal number ("01" reads as 1). False when fewer than three pieces or one is
// not a number.
bool ParseVersionTriple(const std::string& text, VersionTriple* out);

// Compares component by component: once one differs, the lower ones are not looked at.
bool IsNewerVersion(const VersionTriple& offered, const VersionTriple& local);

} // namespace velquist
