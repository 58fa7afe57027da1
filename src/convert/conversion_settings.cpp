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
        if (name == FormatName(format)) {
            return format;
        }
    }
    return std::nullopt;
}

const char* ExistingFileName(ExistingFile mode) {
    switch (mode) {
    case ExistingFile::kSkip:
        return "skip";
    case ExistingFile::kRename:
        return "rename";
    case ExistingFile::kOverwrite:
        break;
    }
    return "overwrite";
}

std::optional<ExistingFile> ParseExistingFile(const std::string& name) {
    for (const ExistingFile mode :
         {ExistingFile::kOverwrite, ExistingFile::kSkip, ExistingFile::kRename}) {
        if (name == ExistingFileName(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

bool IsSafeSubfolder(const std::string& subfolder) {
    if (subfolder.empty() || subfolder.front() == '/') {
        return false;
    }
    size_t start = 0;
    while (start <= subfolder.size()) {
        size_t end = subfolder.find('/', start);
        if (end == std::string::npos) {
            end = subfolder.size();
        }
        const std::string part = subfolder.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
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
