#pragma once

#include <string>

namespace velquist {

// The web service's base address: the build's default unless the user's configure.ini
// names another in "global"/"service-url" (read once, at the first use). No trailing "/".
std::string ServiceBaseUrl();
// Replaces the address for the rest of the process (tests point it at a loopback server).
void SetServiceBaseUrl(const std::string& url);
// Reads the configured address again (after the user changed configure.ini).
void ReloadServiceBaseUrl();
// The build's compiled-in default.
std::string DefaultServiceBaseUrl();

std::string HelpPageUrl();      // base + "/help"
std::string HelpAudioPageUrl(); // base + "/help/audio"

// Text made safe as one path segment: every byte outside the URL's unreserved set
// (letters, digits, "-._~") becomes %XX, so "/", "?", "#", "%" or blanks cannot change
// the request.
std::string PercentEncodeSegment(const std::string& text);

} // namespace velquist
