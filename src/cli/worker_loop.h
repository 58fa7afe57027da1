#pragma once

namespace velquist {

// The long-lived worker: reads conversion requests on standard input and answers each on
// descriptor 3 (see tasks/worker_protocol.h) until its input ends. Returns the exit status.
int RunWorkerLoop();

} // namespace velquist
