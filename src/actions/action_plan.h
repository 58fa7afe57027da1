#pragma once

#include <string>
#include <vector>

namespace velquist {

// What a file manager asked for: velquist-action --format jpg|png FILE|FOLDER...
struct ActionRequest {
    std::string format;
    std::vector<std::string> paths; // as bytes, the way the file manager passed them
};

struct ActionParse {
    bool ok = false;
    std::string error; // one line
    ActionRequest request;
};

// args without the program name; "--" ends the options.
ActionParse ParseActionArgs(const std::vector<std::string>& args);

// The converter's command line for the files of the list at listPath: the saved quality,
// Exif and size settings apply, but the outputs go beside the photos and never over a file
// that is there already.
std::vector<std::string> ConverterArgs(const std::string& format, const std::string& listPath);

std::string ActionUsage();

} // namespace velquist
