#pragma once

#include <optional>
#include <string>

namespace velquist {

// Switches of configure.ini, section "global", stored as "1" (on) or "0" (off) like
// "image-exif". Both are off by default.
// Keep the Exif data but remove where the photo was taken (only with "image-exif").
inline constexpr wchar_t kStripLocationKey[] = L"image-strip-location";
// Write every top-level image of a multi-image file, not only the primary one.
inline constexpr wchar_t kAllImagesKey[] = L"image-all-images";

// The long edge photos are shrunk to, in pixels: "0" or absent keeps the size as taken.
// The window offers 原始 (0), 3840, 2560, 1920, 1280 and a custom value.
inline constexpr wchar_t kMaxSizeKey[] = L"image-max-size";
inline constexpr int kMaxSizeChoices[] = {3840, 2560, 1920, 1280};
// The largest value kept; JPEG cannot hold a longer side.
inline constexpr int kMaxSizeCeiling = 65500;

// A whole number 0..kMaxSizeCeiling (white space around ignored); anything else is no
// choice.
std::optional<int> ParseMaxSize(const std::wstring& stored);
// The saved long edge, 0 when none (or nothing readable) is saved.
int ReadMaxSizeSetting();
// Saves a value 0..kMaxSizeCeiling; false for another value or when it cannot be stored.
bool WriteMaxSizeSetting(int maxSize);

// "1" on, "0" off (white space around ignored); anything else is no choice.
std::optional<bool> ParseSwitchValue(const std::wstring& stored);

// The saved state of a switch in section "global", or fallback when none is saved.
bool ReadSwitchSetting(const wchar_t* key, bool fallback);
// Saves the state as "1" or "0"; false when it cannot be stored.
bool WriteSwitchSetting(const wchar_t* key, bool on);

} // namespace velquist
