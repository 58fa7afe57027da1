#include "conversion_settings.h"

namespace velquist {

const char* FormatName(OutputFormat format) {
    switch (format) {
    case OutputFormat::kPng:
        return "png";
    case OutputFormat::kBmp:
        return "bmp";
    case OutputFormat::kJpg:
        break;
    }
    return "jpg";
}

std::optional<OutputFormat> ParseOutputFormat(const std::string& name) {
    for (const OutputFormat format : {OutputFormat::kJpg, OutputFormat::kPng, OutputFormat::kBmp}) {
        if (name == FormatName(format))
            return format;
    }
    return std::nullopt;
}

std::string BuildOutputPath(const std::string& sourcePath, const std::string& outputDir,
                            OutputFormat format) {
    const size_t slash = sourcePath.rfind('/');
    const std::string fileName =
        slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
    const size_t dot = fileName.rfind('.');
    const std::string baseName = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    return outputDir + "/" + baseName + "." + FormatName(format);
}

} // namespace velquist
