#include "cli_options.h"

#include <charconv>

namespace velquist {
namespace {

bool ParseInt(const std::string& text, int* value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, *value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool IsKnownFormat(const std::string& format) {
    return format == "jpg" || format == "png" || format == "bmp";
}

CliParseResult Fail(const std::string& error) {
    CliParseResult result;
    result.error = error;
    return result;
}

// Takes the value of the option at args[*i], advancing past it.
bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* value) {
    if (*i + 1 >= args.size())
        return false;
    *value = args[++*i];
    return true;
}

CliParseResult ParseWorker(const std::vector<std::string>& args) {
    CliParseResult result;
    CliOptions& o = result.options;
    o.mode = CliOptions::Mode::kWorker;
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--format" || arg == "--quality" || arg == "--exif") {
            if (!TakeValue(args, &i, &value))
                return Fail(arg + " needs a value");
        }
        if (arg == "--format") {
            o.format = value;
        } else if (arg == "--quality") {
            if (!ParseInt(value, &o.quality))
                return Fail("--quality needs a whole number");
        } else if (arg == "--exif") {
            if (value != "0" && value != "1")
                return Fail("--exif needs 0 or 1");
            o.keepExif = value == "1";
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        return Fail("worker mode needs exactly INPUT and OUTPUT");
    o.inputs = {positional[0]};
    o.workerOutput = positional[1];
    result.ok = true;
    return result;
}

} // namespace

CliParseResult ParseCommandLine(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "--worker")
        return ParseWorker(args);
    CliParseResult result;
    CliOptions& o = result.options;
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            o.inputs.push_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "-h" || arg == "--help") {
            o.mode = CliOptions::Mode::kHelp;
        } else if (arg == "-f") {
            if (!TakeValue(args, &i, &value) || !IsKnownFormat(value))
                return Fail("-f needs jpg, png or bmp");
            o.format = value;
        } else if (arg == "-q") {
            if (!TakeValue(args, &i, &value) || !ParseInt(value, &o.quality) || o.quality < 0 ||
                o.quality > 100)
                return Fail("-q needs a quality from 0 to 100");
        } else if (arg == "-o") {
            if (!TakeValue(args, &i, &value) || value.empty())
                return Fail("-o needs a folder");
            o.outputDir = value;
        } else {
            return Fail("unknown option " + arg);
        }
    }
    if (o.mode == CliOptions::Mode::kHelp) {
        result.ok = true;
        return result;
    }
    if (o.inputs.empty())
        return Fail("no input files");
    result.ok = true;
    return result;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " FILE... [-f jpg|png|bmp] [-q N] [-o DIR]\n"
           "Converts HEIF/HEIC images to JPEG, PNG or BMP.\n"
           "  -f FORMAT  output format: jpg (default), png or bmp\n"
           "  -q N       JPEG quality 0..100 (default 90)\n"
           "  -o DIR     output folder (default: beside each input file)\n"
           "  -h, --help show this text\n"
           "Each output is named after its input with the new extension.\n"
           "Exit status: 0 all converted, 1 some failed, 2 bad usage.\n";
}

} // namespace velquist
