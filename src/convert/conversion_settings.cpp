#include "conversion_settings.h"

namespace velquist {

std::string BuildOutputPath(const std::string& sourcePath, const std::string& outputDir,
                            const std::string& format) {
    const size_t slash = sourcePath.rfind('/');
    const std::string fileName =
        slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
    const size_t dot = fileName.rfind('.');
    const std::string baseName = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    return outputDir + "/" + baseName + "." + format;
}

} // namespace velquist
