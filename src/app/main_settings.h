#pragma once

#include <optional>
#include <string>

namespace velquist {

// What a stored setting selects in the main window. The stored text is trimmed
// first; anything else is compared exactly, so "PNG" selects nothing.
int FormatIndexFor(const std::wstring& stored);  // "jpg" 0, "png" 1, "bmp" 2, else -1
int QualityIndexFor(const std::wstring& stored); // "10" 0 ... "100" 9, else -1
bool ExifCheckedFor(const std::wstring& stored); // exactly "1"
// The "existing-file" choice's place in the window's list: "overwrite" 0, "skip" 1,
// "rename" 2 (trimmed, exact), anything else the default, overwrite.
int ExistingFileIndexFor(const std::wstring& stored);
// The stored value of the choice at that place; "overwrite" for any other place.
std::wstring ExistingFileValueAt(int index);

// The 尺寸 choice's place in the window's list: 原始 (0) at 0, then the long edges of
// kMaxSizeChoices; -1 for any other value, which the window shows as its own custom item.
int MaxSizeIndexFor(int maxSize);
// The long edge of the listed choice at that place; -1 for a place beyond them.
int MaxSizeValueAt(int index);
// What the user typed as a custom long edge: a whole number 1..kMaxSizeCeiling (white
// space around ignored); anything else, 0 included, is refused.
std::optional<int> ParseCustomMaxSize(const std::wstring& typed);

// Whether a file can be created in folder, found by creating the probe file
// "MorvaneTmp" there and removing it again. A file of that name that the user
// already keeps there is neither truncated nor removed: the probe then uses a
// fresh name beside it.
bool CanWriteInFolder(const std::string& folder);

} // namespace velquist
