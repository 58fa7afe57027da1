#pragma once

#include <string>
#include <string_view>

namespace velquist::service {

// Hides the middle of every run of eight or more digits, so that a phone
// number in a path reads "138****0001".
std::string MaskDigitRuns(std::string_view text);

// One log field as printable ASCII: control characters, spaces, quotes, backslashes
// and bytes outside ASCII become "\xNN", so no input can start a new line or
// pass for another field.
std::string EscapeLogField(std::string_view text);

// The field as a log line shows it: masked, then escaped.
std::string LogField(std::string_view text);

} // namespace velquist::service
