#pragma once

#include <optional>
#include <string>

namespace velquist {

enum class OutputFormat { kJpg, kPng, kBmp };

constexpr int kDefaultQuality = 90;

// "jpg", "png" or "bmp": the option value, the saved setting and the output extension.
const char* FormatName(OutputFormat format);
std::optional<OutputFormat> ParseOutputFormat(const std::string& name);

// What a conversion does when a file of its output's name is already there (before this
// batch; outputs of the batch itself never replace one another).
enum class ExistingFile { kOverwrite, kSkip, kRename };

// "overwrite", "skip" or "rename": the option value and the saved setting "existing-file".
const char* ExistingFileName(ExistingFile mode);
std::optional<ExistingFile> ParseExistingFile(const std::string& name);

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
    ExistingFile existingFile = ExistingFile::kOverwrite;
    // The output's modification time becomes the photo's capture time.
    bool keepDate = true;
    // The long edge of the written picture (after the photo's rotation is applied), in
    // pixels: larger photos are shrunk to it, smaller ones keep their size. 0: as taken.
    int maxSize = 0;
};

// outputDir + "/" + base name of sourcePath (up to its last ".") + "." + format.
std::string BuildOutputPath(const std::string& sourcePath, const std::string& outputDir,
                            OutputFormat format);

// True for a relative folder path that stays below the folder it is joined to: no
// leading "/", no "." or ".." component, no empty component. Mirrored subfolders that are
// not of this form are refused, so that no output can land outside the output folder.
bool IsSafeSubfolder(const std::string& subfolder);

} // namespace velquist
