#pragma once

#include <climits>
#include <cstddef>
#include <string>

namespace velquist {

// Longest value returned by ReadConfigValue, in characters: a path never gets cut.
constexpr std::size_t kMaxConfigValueLength = PATH_MAX - 1;

// Full path of "configure.ini" in "Morvane/Config". The folder is re-created on every
// call; the path itself is fixed by the first call for the life of the process.
std::wstring GetConfigFilePath();

// Copies the value of key in section (names match in any letter case), or the default
// when the key or the file is absent, into value. True when value is not empty.
bool ReadConfigValue(const std::wstring& section, const std::wstring& key,
                     const std::wstring& defaultValue, std::wstring& value);

// Stores the value, creating the file on the first write and keeping everything else in
// it. The new content is written to a temporary file and renamed over the old one, so a
// reader never sees a half-written file. False when the value cannot be stored.
bool WriteConfigValue(const std::wstring& section, const std::wstring& key,
                      const std::wstring& value);

// Strips what iswspace counts as white space from both ends.
std::wstring TrimWide(const std::wstring& text);

} // namespace velquist
