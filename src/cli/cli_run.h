#pragma once

#include "cli/cli_options.h"

#include <string>

namespace velquist {

// Returns the process exit status. program is argv[0], for messages and as the last
// resort for finding the worker.
int RunConvertMode(const CliOptions& options, const std::string& program);

} // namespace velquist
