#include "image_settings.h"

#include "config_file.h"

namespace velquist {

std::optional<bool> ParseSwitchValue(const std::wstring& stored) {
    const std::wstring value = TrimWide(stored);
    if (value == L"1") {
        return true;
    }
    if (value == L"0") {
        return false;
    }
    return std::nullopt;
}

std::optional<int> ParseMaxSize(const std::wstring& stored) {
    const std::wstring value = TrimWide(stored);
    if (value.empty() || value.size() > 5) {
        return std::nullopt;
    }
    int number = 0;
    for (const wchar_t c : value) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<int>(c - L'0');
    }
    if (number > kMaxSizeCeiling) {
        return std::nullopt;
    }
    return number;
}

int ReadMaxSizeSetting() {
    std::wstring value;
    ReadConfigValue(L"global", kMaxSizeKey, L"", value);
    return ParseMaxSize(value).value_or(0);
}

bool WriteMaxSizeSetting(int maxSize) {
    if (maxSize < 0 || maxSize > kMaxSizeCeiling) {
        return false;
    }
    return WriteConfigValue(L"global", kMaxSizeKey, std::to_wstring(maxSize));
}

bool ReadSwitchSetting(const wchar_t* key, bool fallback) {
    std::wstring value;
    ReadConfigValue(L"global", key, L"", value);
    return ParseSwitchValue(value).value_or(fallback);
}

bool WriteSwitchSetting(const wchar_t* key, bool on) {
    return WriteConfigValue(L"global", key, on ? L"1" : L"0");
}

} // namespace velquist
