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

bool ReadSwitchSetting(const wchar_t* key, bool fallback) {
    std::wstring value;
    ReadConfigValue(L"global", key, L"", value);
    return ParseSwitchValue(value).value_or(fallback);
}

bool WriteSwitchSetting(const wchar_t* key, bool on) {
    return WriteConfigValue(L"global", key, on ? L"1" : L"0");
}

} // namespace velquist
