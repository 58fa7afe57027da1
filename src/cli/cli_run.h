#pragma once

#include "cli/cli_options.h"

namespace velquist {

// Both return the process exit status.
int RunConvertMode(const CliOptions& options);
int RunWorkerMode(const CliOptions& options);

} // namespace velquist
