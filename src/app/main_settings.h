#pragma once

#include <string>

namespace velquist {

// What a stored setting selects in the main window. The stored text is trimmed
// first; anything else is compared exactly, so "PNG" selects nothing.
int FormatIndexFor(const std::wstring& stored);  // "jpg" 0, "png" 1, "bmp" 2, else -1
int QualityIndexFor(const std::wstring& stored); // "10" 0 ... "100" 9, else -1
bool ExifCheckedFor(const std::wstring& stored); // exactly "1"

// Whether a file can be created in folder, found by creating the probe file
// "MorvaneTmp" there and removing it again. A file of that name that the user
// already keeps there is neither truncated nor removed: the probe then uses a
// fresh name beside it.
bool CanWriteInFolder(const std::string& folder);

} // namespace velquist
