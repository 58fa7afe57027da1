#include "cli_run.h"

#include "convert/conversion_settings.h"
#include "convert/convert_task.h"

#include <cstdio>
#include <string>

namespace velquist {
namespace {

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The job's diagnostic lines joined into one line for the summary.
std::string Reason(const std::string& diagnostics) {
    std::string reason;
    size_t start = 0;
    while (start < diagnostics.size()) {
        size_t end = diagnostics.find('\n', start);
        if (end == std::string::npos)
            end = diagnostics.size();
        if (end > start)
            reason += (reason.empty() ? "" : "; ") + diagnostics.substr(start, end - start);
        start = end + 1;
    }
    return reason.empty() ? "unknown error" : reason;
}

} // namespace

int RunConvertMode(const CliOptions& options) {
    int failures = 0;
    for (const std::string& input : options.inputs) {
        ConvertTask task;
        task.inputPath = input;
        task.format = options.format;
        task.quality = options.quality;
        task.keepExif = options.keepExif;
        const std::string dir = options.outputDir.empty() ? DirectoryOf(input) : options.outputDir;
        task.outputPath = BuildOutputPath(input, dir, options.format);
        const ConversionOutcome outcome = RunConversion(task, false);
        if (outcome.status == kTaskSucceeded) {
            std::printf("OK  %s -> %s\n", input.c_str(), task.outputPath.c_str());
        } else {
            ++failures;
            std::printf("FAILED %s: %s\n", input.c_str(), Reason(outcome.diagnostics).c_str());
        }
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}

int RunWorkerMode(const CliOptions& options) {
    ConvertTask task;
    task.inputPath = options.inputs.front();
    task.outputPath = options.workerOutput;
    task.format = options.format;
    task.quality = options.quality;
    task.keepExif = options.keepExif;
    return RunConversion(task).status == kTaskSucceeded ? 0 : 1;
}

} // namespace velquist
