#include "cli_options.h"

#include <algorithm>
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

bool IsKnownExistingChoice(const std::string& choice) {
    return choice == "overwrite" || choice == "skip" || choice == "rename";
}

// The largest --max-size; a longer side than JPEG holds could never shrink an output.
constexpr int kLargestMaxSizeOption = 65500;

// --max-size N: a long edge of 0 (as taken) up to the largest side JPEG holds.
bool ParseMaxSizeValue(const std::string& value, int* maxSize) {
    return ParseInt(value, maxSize) && *maxSize >= 0 && *maxSize <= kLargestMaxSizeOption;
}

CliParseResult Fail(const std::string& error) {
    CliParseResult result;
    result.error = error;
    return result;
}

// Takes the value of the option at args[*i], advancing past it.
bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* value) {
    if (*i + 1 >= args.size()) {
        return false;
    }
    *value = args[++*i];
    return true;
}

// The JPEG qualities a command line may ask for.
constexpr int kMinQuality = 10;
constexpr int kMaxQuality = 100;

bool IsOption(const std::string& arg, bool onlyFiles) {
    return !onlyFiles && arg.size() > 1 && arg[0] == '-';
}

// One option of the convert mode at args[*i]; false with *error set when it is refused.
bool ParseConvertOption(const std::vector<std::string>& args, size_t* i, CliOptions* o,
                        std::string* error) {
    const std::string& arg = args[*i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
        o->mode = CliOptions::Mode::kHelp;
    } else if (arg == "--version") {
        o->mode = CliOptions::Mode::kVersion;
    } else if (arg == "-r" || arg == "--recursive") {
        o->recursive = true;
    } else if (arg == "-v" || arg == "--verbose") {
        o->verbose = true;
    } else if (arg == "--exif" || arg == "--no-exif") {
        o->keepExif = arg == "--exif";
    } else if (arg == "--strip-location" || arg == "--keep-location") {
        o->stripLocation = arg == "--strip-location";
    } else if (arg == "--all-images" || arg == "--primary-image") {
        o->allImages = arg == "--all-images";
    } else if (arg == "--keep-date" || arg == "--no-keep-date") {
        o->keepDate = arg == "--keep-date";
    } else if (arg == "--existing") {
        if (!TakeValue(args, i, &value) || !IsKnownExistingChoice(value)) {
            return *error = "--existing needs overwrite, skip or rename", false;
        }
        o->existing = value;
    } else if (arg == "--retry-from") {
        if (!TakeValue(args, i, &value) || value.empty()) {
            return *error = "--retry-from needs a list file", false;
        }
        o->retryFrom = value;
    } else if (arg == "-f") {
        if (!TakeValue(args, i, &value) || !IsKnownFormat(value)) {
            return *error = "-f needs jpg, png or bmp", false;
        }
        o->format = value;
    } else if (arg == "-q") {
        int quality = 0;
        if (!TakeValue(args, i, &value) || !ParseInt(value, &quality) || quality < kMinQuality ||
            quality > kMaxQuality) {
            return *error = "-q needs a quality from 10 to 100", false;
        }
        o->quality = quality;
    } else if (arg == "-o") {
        if (!TakeValue(args, i, &value) || value.empty()) {
            return *error = "-o needs a folder", false;
        }
        o->outputDir = value;
    } else if (arg == "--beside") {
        o->outputDir = std::string(); // set, and empty: the saved folder does not apply
    } else if (arg == "-j") {
        if (!TakeValue(args, i, &value) || !ParseInt(value, &o->jobs) || o->jobs < 1) {
            return *error = "-j needs a number of files of at least 1", false;
        }
        o->jobsClamped = o->jobs > kMaxJobs;
        o->jobs = std::min(o->jobs, kMaxJobs);
    } else if (arg == "--max-size") {
        int maxSize = 0;
        if (!TakeValue(args, i, &value) || !ParseMaxSizeValue(value, &maxSize)) {
            return *error = "--max-size needs a number of pixels from 0 to 65500", false;
        }
        o->maxSize = maxSize;
    } else if (arg == "--memory-budget") {
        int mib = 0;
        if (!TakeValue(args, i, &value) || !ParseInt(value, &mib) || mib < 1) {
            return *error = "--memory-budget needs a number of MiB", false;
        }
        o->memoryBudgetMib = static_cast<std::uint64_t>(mib);
    } else if (arg == "--worker-command") {
        if (!TakeValue(args, i, &value) || value.empty()) {
            return *error = "--worker-command needs a program", false;
        }
        o->workerCommand = value;
    } else {
        return *error = "unknown option " + arg, false;
    }
    return true;
}

} // namespace

CliParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CliParseResult result;
    CliOptions& o = result.options;
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!IsOption(arg, onlyFiles)) {
            o.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string error;
        const size_t first = i;
        if (!ParseConvertOption(args, &i, &o, &error)) {
            return Fail(error);
        }
        if (arg != "--retry-from") {
            o.optionArgs.insert(o.optionArgs.end(),
                                args.begin() + static_cast<std::ptrdiff_t>(first),
                                args.begin() + static_cast<std::ptrdiff_t>(i + 1));
        }
    }
    if (o.mode == CliOptions::Mode::kHelp || o.mode == CliOptions::Mode::kVersion) {
        result.ok = true;
        return result;
    }
    if (o.inputs.empty() && o.retryFrom.empty()) {
        return Fail("no input files");
    }
    for (const std::string& input : o.inputs) {
        if (input.empty()) {
            return Fail("an input path is empty");
        }
    }
    result.ok = true;
    return result;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " [options] FILE|FOLDER...\n"
           "       " +
           program +
           " [options] --retry-from LIST [FILE|FOLDER...]\n"
           "Converts HEIF/HEIC photos to JPEG, PNG or BMP, up to three at a time.\n"
           "A FILE is converted whatever its name; a FOLDER contributes the files directly\n"
           "inside it whose names end in .heic, .HEIC, .heif, .HEIF, .hif or .HIF.\n"
           "\n"
           "Options (an option not given takes the setting saved by the Velquist window in\n"
           "configure.ini, section [global], and then the default shown):\n"
           "  -f FORMAT    output format: jpg, png or bmp (image-format; default jpg)\n"
           "  -q N         JPEG quality 10..100 (image-quality; default 90)\n"
           "  --exif       keep the photo's EXIF data (image-exif; the default)\n"
           "  --no-exif    leave the EXIF data out\n"
           "  --strip-location  keep the EXIF data but remove the location (GPS) from it\n"
           "               (image-strip-location; off by default)\n"
           "  --keep-location   keep the location with the EXIF data\n"
           "  --all-images write every image of a multi-image file (bursts, exposure\n"
           "               stacks): NAME.jpg for the primary one, NAME-2.jpg, NAME-3.jpg, ...\n"
           "               for the others in the file's order, at most 256 per file\n"
           "               (image-all-images; off by default)\n"
           "  --primary-image   write the primary image only\n"
           "  --max-size N shrink each picture so that its long edge (as the photo is shown,\n"
           "               after its rotation) is at most N pixels; smaller ones keep their\n"
           "               size; 0 keeps every size (image-max-size; default 0)\n"
           "  -o DIR       output folder, created when missing (output-dir; by default each\n"
           "               output is written beside its input file)\n"
           "  --beside     write each output beside its input, whatever output-dir says\n"
           "  -r, --recursive  also convert the HEIF files in the subfolders of a FOLDER; with\n"
           "               an output folder, the subfolders are mirrored below it\n"
           "  --existing overwrite|skip|rename\n"
           "               an output name taken by an earlier file: replace it, leave it\n"
           "               (the file is skipped) or write \"NAME (n).EXT\" beside it\n"
           "               (existing-file; default overwrite)\n"
           "  --keep-date  give each output the photo's capture time as its modification\n"
           "               time (keep-date; the default)\n"
           "  --no-keep-date   leave the output's modification time at the conversion\n"
           "  --retry-from LIST  also convert the files of a list an earlier run wrote\n"
           "  -j N         convert at most N files at once, 1..3 (default 3; a larger N is\n"
           "               reduced to 3 with a notice)\n"
           "  -v, --verbose    print every line the decoder and encoders report\n"
           "  -h, --help   show this text\n"
           "  --version    show the version\n"
           "  --           end of options; what follows are file names\n"
           "\n"
           "Each output is named after its input with the new extension and replaces an\n"
           "earlier file of that name (see --existing). Two inputs of this run that would\n"
           "give the same output name get \" (2)\", \" (3)\", ... before the extension.\n"
           "The capture time is Exif DateTimeOriginal (at OffsetTimeOriginal when given),\n"
           "else the input's modification time.\n"
           "On a terminal a progress bar shows the files done and the rate; otherwise one\n"
           "line per file is printed (\"OK  IN -> OUT\" or \"FAILED IN: REASON\"). The\n"
           "summary lists every failed file with its reason. When files were not converted\n"
           "(failed, or left by Ctrl-C), their list is written (NUL-separated file names)\n"
           "and the command that converts exactly those again is printed.\n"
           "\n"
           "Exit status: 0 all files converted (or none found), 1 some failed,\n"
           "2 bad usage: an unknown option or value, or a FILE|FOLDER that cannot be read\n"
           "(nothing is converted then).\n";
}

} // namespace velquist
