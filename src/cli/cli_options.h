#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velquist {

// Most files the converter works on at once (the engine's own limit).
constexpr int kMaxJobs = 3;

struct CliOptions {
    enum class Mode { kConvert, kWorker, kHelp, kVersion };

    Mode mode = Mode::kConvert;
    std::vector<std::string> inputs;
    // Unset options fall back to the saved settings, then to the defaults.
    std::optional<std::string> format;
    std::optional<int> quality;
    std::optional<bool> keepExif;
    std::optional<std::string> outputDir; // set and empty (--beside): beside each input
    std::optional<bool> stripLocation;
    std::optional<bool> allImages;
    // The long edge outputs are shrunk to (0: as taken); also the worker's "--max-size N".
    std::optional<int> maxSize;
    // Worker mode: how many of the file's images may be written (the primary first), as
    // the engine reserved their output names; 0 writes the primary only.
    int workerImages = 0;
    // Worker mode: whether the output may be written over a file that holds its name.
    std::optional<bool> workerReplace;
    // Worker mode: libheif's threads for the image's tiles (0: on the conversion's thread);
    // unset: as many as suit a conversion that has the machine to itself.
    std::optional<int> decodeThreads;
    bool recursive = false;
    std::optional<std::string> existing; // "overwrite", "skip" or "rename"
    std::optional<bool> keepDate;
    // A list of files written by an earlier run (see retry_list.h); its files are converted
    // as if named, each into the subfolder it had.
    std::string retryFrom;
    // The options as given (values included), without --retry-from and the inputs: what a
    // retry of this run is started with.
    std::vector<std::string> optionArgs;
    int jobs = kMaxJobs;
    bool jobsClamped = false; // more than kMaxJobs were asked for
    bool verbose = false;
    // Only for tests: the program run as the worker instead of this one, and the memory
    // budget in MiB instead of half the machine's available memory.
    std::string workerCommand;
    std::uint64_t memoryBudgetMib = 0;
    std::string workerOutput;
};

struct CliParseResult {
    bool ok = false;
    std::string error; // why the command line was refused, one line
    CliOptions options;
};

// args without the program name.
//   [options] FILE|FOLDER...
//   [options] --retry-from LIST [FILE|FOLDER...]
//   --worker --format F --quality N --exif 0|1 [--strip-location 0|1] [--images N]
//            [--decode-threads N] [--replace 0|1] [--] INPUT OUTPUT
//   --help, --version
CliParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

} // namespace velquist
