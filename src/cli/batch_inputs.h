#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velquist {

struct BatchInputs {
    std::vector<std::string> files; // in the order given, each folder's files in list order
    // For each file, its folder relative to the named folder it was found in ("2023/May"),
    // empty for a named file and for the named folder's own files.
    std::vector<std::string> subFolders;
    std::vector<std::string> errors;   // one line per named path that cannot be read
    std::vector<std::string> warnings; // one line per subfolder left out
};

// A named file is taken whatever its name; a folder gives the HEIF files directly inside
// it (recursive: also those of its subfolders, without following links to folders). The
// same file named twice is converted once.
BatchInputs CollectInputs(const std::vector<std::string>& paths, bool recursive);

// Adds files that come with their subfolders (a retry list), before the ones collected: a
// file that cannot be read is an error like a named one.
void AddListedFiles(const std::vector<std::pair<std::string, std::string>>& listed,
                    BatchInputs* inputs);

} // namespace velquist
