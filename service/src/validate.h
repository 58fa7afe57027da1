#pragma once

#include <cstddef>
#include <string_view>

namespace velquist::service {

inline constexpr std::size_t kMaxPasswordChars = 32;
inline constexpr std::size_t kCodeDigits = 6;

bool IsValidUtf8(std::string_view text);
// Number of code points; only meaningful for valid UTF-8.
std::size_t Utf8Length(std::string_view text);
bool IsValidPhone(std::string_view phone);
bool IsValidPassword(std::string_view password);
bool IsWellFormedCode(std::string_view code);

} // namespace velquist::service
