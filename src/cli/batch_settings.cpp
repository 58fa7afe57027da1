#include "batch_settings.h"

#include "config/config_file.h"
#include "config/image_settings.h"
#include "config/setting_keys.h"
#include "util/text.h"

#include <charconv>

namespace velquist {
namespace {

std::string Saved(const wchar_t* key) {
    std::wstring value;
    ReadConfigValue(L"global", key, L"", value);
    return WideToPath(TrimWide(value));
}

OutputFormat SavedFormat(OutputFormat fallback) {
    return ParseOutputFormat(Saved(L"image-format")).value_or(fallback);
}

int SavedQuality(int fallback) {
    const std::string saved = Saved(L"image-quality");
    int quality = 0;
    const char* end = saved.data() + saved.size();
    const auto parsed = std::from_chars(saved.data(), end, quality);
    if (saved.empty() || parsed.ec != std::errc() || parsed.ptr != end || quality < 10 ||
        quality > 100) {
        return fallback;
    }
    return quality;
}

bool SavedFlag(const wchar_t* key, bool fallback) {
    const std::string saved = Saved(key);
    if (saved == "1") {
        return true;
    }
    if (saved == "0") {
        return false;
    }
    return fallback;
}

} // namespace

ConversionSettings ResolveSettings(const CliOptions& options) {
    ConversionSettings settings;
    const std::optional<OutputFormat> chosen =
        options.format ? ParseOutputFormat(*options.format) : std::nullopt;
    settings.format = chosen ? *chosen : SavedFormat(settings.format);
    settings.quality = options.quality ? *options.quality : SavedQuality(settings.quality);
    settings.keepExif =
        options.keepExif ? *options.keepExif : SavedFlag(L"image-exif", settings.keepExif);
    const std::optional<ExistingFile> existing =
        ParseExistingFile(options.existing ? *options.existing : Saved(kExistingFileKey));
    settings.existingFile = existing.value_or(settings.existingFile);
    settings.keepDate =
        options.keepDate ? *options.keepDate : SavedFlag(kKeepDateKey, settings.keepDate);
    settings.outputDir = PathToWide(options.outputDir ? *options.outputDir : Saved(L"output-dir"));
    settings.stripLocation = options.stripLocation.value_or(
        ReadSwitchSetting(kStripLocationKey, settings.stripLocation));
    settings.allImages =
        options.allImages.value_or(ReadSwitchSetting(kAllImagesKey, settings.allImages));
    settings.maxSize = options.maxSize ? *options.maxSize : ReadMaxSizeSetting();
    return settings;
}

} // namespace velquist
