#pragma once

#include <string>

namespace velquist {

// The user's choices as they stand when a task is dispatched.
struct ConversionSettings {
    std::string format = "jpg"; // "jpg", "png" or "bmp"; also the output extension
    int quality = 90;
    bool keepExif = true;
    std::wstring outputDir;
};

// outputDir + "/" + base name of sourcePath (up to its last ".") + "." + format.
std::string BuildOutputPath(const std::string& sourcePath, const std::string& outputDir,
                            const std::string& format);

} // namespace velquist
