#pragma once

#include <string_view>

namespace velquist::service {

// The pages behind "/help" (using the converter) and "/help/audio" (account,
// feedback and how to reach us), in UTF-8.
std::string_view HelpPage();
std::string_view ContactHelpPage();

} // namespace velquist::service
