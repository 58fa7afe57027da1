#pragma once

#include <string>

namespace velquist::testing {

// A fresh temporary folder that stands in for the user's home; HOME, XDG_DATA_HOME and
// XDG_CONFIG_HOME point into it. The configuration path is fixed for the life of the
// process by its first use, so every process gets one such home (see TempHome()).
const std::string& TempHome();

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
bool IsDir(const std::string& path);

} // namespace velquist::testing
