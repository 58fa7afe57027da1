#include "thread_budget.h"

namespace velquist {

int DecodeThreadsPerJob(int jobs, int cores) {
    // std::thread::hardware_concurrency() may say 0: count that as one core.
    jobs = jobs < 1 ? 1 : jobs;
    cores = cores < 1 ? 1 : cores;
    // bench/decode on 2 cores: with a job per core or more, tile threads only add CPU time
    // (thread starts, switching) to cores that are busy anyway; the tiles are decoded
    // fastest on the job's own thread. A single background thread is the slowest choice
    // of all, since the job's thread only waits for it.
    const int share = cores / jobs;
    return share >= 2 ? share : 0;
}

} // namespace velquist
