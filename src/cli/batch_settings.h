#pragma once

#include "cli/cli_options.h"

#include <string>

namespace velquist {

struct BatchSettings {
    std::string format = "jpg";
    int quality = 90;
    bool keepExif = true;
    std::string outputDir; // empty: each output beside its input
};

// Each option not given on the command line takes the value saved in configure.ini
// (section "global"); a saved value the window would not offer is ignored, so the default
// applies.
BatchSettings ResolveSettings(const CliOptions& options);

} // namespace velquist
