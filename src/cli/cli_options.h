#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velquist {

// Most files the converter works on at once (the engine's own limit).
constexpr int kMaxJobs = 3;

struct CliOptions {
    enum class Mode { kConvert, kHelp, kVersion };

    Mode mode = Mode::kConvert;
    std::vector<std::string> inputs;
    // Unset options fall back to the saved settings, then to the defaults.
    std::optional<std::string> format;
    std::optional<int> quality;
    std::optional<bool> keepExif;
    std::optional<std::string> outputDir; // set and empty (--beside): beside each input
    std::optional<bool> stripLocation;
    std::optional<bool> allImages;
    // The long edge outputs are shrunk to (0: as taken).
    std::optional<int> maxSize;
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
};

struct CliParseResult {
    bool ok = false;
    std::string error; // why the command line was refused, one line
    CliOptions options;
};

// args without the program name.
//   [options] FILE|FOLDER...
//   [options] --retry-from LIST [FILE|FOLDER...]
//   --help, --version
CliParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

} // namespace velquist
