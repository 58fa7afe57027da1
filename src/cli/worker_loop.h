#pragma once

namespace velquist {

// The long-lived worker: reads conversion requests on standard input and answers each on
// descriptor 3 (see tasks/worker_protocol.h) until its input ends. Returns the exit status.
int RunWorkerLoop();

// The one-shot worker: reads a single request the same way, converts it and ends with 0
// when the file was converted, 1 otherwise (the reason is its last line on standard error).
int RunOneShotWorker();

} // namespace velquist
