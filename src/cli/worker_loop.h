#pragma once

#include "cli/cli_options.h"
#include "convert/convert_task.h"

#include <optional>
#include <string>

namespace velquist {

// The long-lived worker: reads conversion requests on standard input and answers each on
// descriptor 3 (see tasks/worker_protocol.h) until its input ends. Returns the exit status.
int RunWorkerLoop();

// The conversion a worker request (the one-file worker's options) asks for; nullopt with
// *error set for an unknown output format.
std::optional<ConvertTask> WorkerTask(const CliOptions& options, std::string* error);

} // namespace velquist
