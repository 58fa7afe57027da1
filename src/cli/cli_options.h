#pragma once

#include <string>
#include <vector>

namespace velquist {

struct CliOptions {
    enum class Mode { kConvert, kWorker, kHelp };

    Mode mode = Mode::kConvert;
    std::vector<std::string> inputs;
    std::string format = "jpg";
    int quality = 90;
    bool keepExif = true;
    std::string outputDir; // empty: beside each input file
    std::string workerOutput;
};

struct CliParseResult {
    bool ok = false;
    std::string error; // why the command line was refused
    CliOptions options;
};

// args without the program name.
//   FILE... [-f jpg|png|bmp] [-q N] [-o DIR]
//   --worker --format F --quality N --exif 0|1 INPUT OUTPUT
//   --help
CliParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

} // namespace velquist
