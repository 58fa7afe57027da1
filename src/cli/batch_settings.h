#pragma once

#include "cli/cli_options.h"
#include "convert/conversion_settings.h"

#include <string>

namespace velquist {

// Each option not given on the command line takes the value saved in configure.ini
// (section "global"); a saved value the window would not offer is ignored, so the default
// applies.
// An empty outputDir writes each output beside its input.
ConversionSettings ResolveSettings(const CliOptions& options);

} // namespace velquist
