#pragma once

namespace velquist {

// libheif's tile decoding threads for each of jobs conversions running at once on cores
// processor cores (heif_context_set_max_decoding_threads; 0 decodes the tiles on the
// job's own thread). Chosen with bench/decode/run.sh (its threads part).
int DecodeThreadsPerJob(int jobs, int cores);

// The processor cores this process may run on (its affinity mask), at least 1.
int AvailableCores();

} // namespace velquist
