#pragma once

namespace velquist {

// Keys of configure.ini's section "global" that the window and the command line share.
// "overwrite" (the default), "skip" or "rename": what a conversion does when its output's
// name is taken by a file from before the batch.
inline constexpr wchar_t kExistingFileKey[] = L"existing-file";
// "1" (the default) or "0": whether an output's modification time is the photo's capture time.
inline constexpr wchar_t kKeepDateKey[] = L"keep-date";
// "zh_CN" or "en": the language of the windows, whatever the desktop's locale is. Absent,
// a Chinese locale gets Chinese and every other locale English.
inline constexpr wchar_t kLanguageKey[] = L"language";

} // namespace velquist
