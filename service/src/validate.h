#pragma once

#include <cstddef>
#include <string>
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
// A numeric IPv4 or IPv6 address.
bool IsIpAddress(const std::string& text);
// What limits per client address count against: the address itself for
// IPv4, the /64 network for IPv6 (one host usually owns a whole /64).
std::string AddressGroup(const std::string& address);

} // namespace velquist::service
