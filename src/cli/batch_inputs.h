#pragma once

#include <string>
#include <vector>

namespace velquist {

struct BatchInputs {
    std::vector<std::string> files;    // in the order given, each folder's files in list order
    std::vector<std::string> errors;   // one line per named path that cannot be read
    std::vector<std::string> warnings; // one line per subfolder left out
};

// A named file is taken whatever its name; a folder gives the HEIF files directly inside
// it (recursive: also those of its subfolders, without following links to folders). The
// same file named twice is converted once.
BatchInputs CollectInputs(const std::vector<std::string>& paths, bool recursive);

} // namespace velquist
