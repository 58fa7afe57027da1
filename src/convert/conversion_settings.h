#pragma once

#include <optional>
#include <string>

namespace velquist {

enum class OutputFormat { kJpg, kPng, kBmp };

constexpr int kDefaultQuality = 90;

// "jpg", "png" or "bmp": the option value, the saved setting and the output extension.
const char* FormatName(OutputFormat format);
std::optional<OutputFormat> ParseOutputFormat(const std::string& name);

// The user's choices for one conversion, as they stand when a task is dispatched.
struct ConversionSettings {
    OutputFormat format = OutputFormat::kJpg;
    int quality = kDefaultQuality;
    bool keepExif = true;
    // Empty: the engine takes the configured output folder, the command line writes each
    // output beside its input. A path in the lossless wide form (PathToWide).
    std::wstring outputDir;
    // With keepExif: the Exif data is kept without the place the photo was taken.
    bool stripLocation = false;
    // Every top-level image of a file is written, not only the primary one.
    bool allImages = false;
};

// outputDir + "/" + base name of sourcePath (up to its last ".") + "." + format.
std::string BuildOutputPath(const std::string& sourcePath, const std::string& outputDir,
                            OutputFormat format);

} // namespace velquist
