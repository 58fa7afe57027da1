#pragma once

#include <QString>
#include <QStringList>

namespace velquist {

// What the program was started with, past its own name. File managers pass
// the files to open ("Open with Velquist"), as paths or as file: URLs.
struct CommandLine {
    QStringList paths;         // absolute, in the given order
    bool checkInstall = false; // "--check-install": report the layout and end
    bool help = false;         // "--help" or "-h": print the usage and end
    bool version = false;      // "--version" or "-V": print the version and end
};

// What "--help" prints.
QString UsageText();
// What "--version" prints: "velquist <version>".
QString VersionText();

// Relative paths are taken against workingDir, since a running instance that
// receives them has a working directory of its own. Other "--" options are
// ignored; "--" ends the options.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingDir);

} // namespace velquist
