#pragma once

#include <QString>
#include <string>
#include <vector>

namespace velquist {

// What the program was started with, past its own name. File managers pass
// the files to open ("Open with Velquist"), as paths or as file: URLs.
struct CommandLine {
    std::vector<std::string> paths; // absolute, in the given order, as bytes
    bool checkInstall = false;      // "--check-install": report the layout and end
    bool help = false;              // "--help" or "-h": print the usage and end
    bool version = false;           // "--version" or "-V": print the version and end
};

// What "--help" prints.
QString UsageText();
// What "--version" prints: "velquist <version>".
QString VersionText();

// Relative paths are taken against workingDir, since a running instance that
// receives them has a working directory of its own. Other "--" options are
// ignored; "--" ends the options. Arguments and workingDir are bytes, as argv and getcwd
// give them: a file name need not be UTF-8.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& workingDir);

} // namespace velquist
