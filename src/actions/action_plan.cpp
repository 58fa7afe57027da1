#include "action_plan.h"

namespace velquist {

ActionParse ParseActionArgs(const std::vector<std::string>& args) {
    ActionParse result;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.empty() || arg[0] != '-') {
            result.request.paths.push_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "--format" && i + 1 < args.size() &&
                   (args[i + 1] == "jpg" || args[i + 1] == "png")) {
            result.request.format = args[++i];
        } else if (arg == "--format") {
            result.error = "--format needs jpg or png";
            return result;
        } else {
            result.error = "unknown option " + arg;
            return result;
        }
    }
    if (result.request.format.empty()) {
        result.error = "--format jpg|png is missing";
    } else if (result.request.paths.empty()) {
        result.error = "no FILE or FOLDER given";
    } else {
        result.ok = true;
    }
    return result;
}

std::vector<std::string> ConverterArgs(const std::string& format, const std::string& listPath) {
    return {"-f", format, "--beside", "--existing", "rename", "--retry-from", listPath};
}

std::string ActionUsage() {
    return "Usage: velquist-action --format jpg|png FILE|FOLDER...\n"
           "Converts the HEIF photos (a FOLDER: those directly inside it) beside themselves\n"
           "with the saved settings, showing the progress, and tells the result through a\n"
           "desktop notification.\n";
}

} // namespace velquist
