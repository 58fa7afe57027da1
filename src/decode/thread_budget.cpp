#include "thread_budget.h"

#include <sched.h>
#include <thread>

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

int AvailableCores() {
    // A container or taskset may allow fewer cores than the machine has.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return CPU_COUNT(&set);
    }
    const unsigned online = std::thread::hardware_concurrency();
    return online > 0 ? static_cast<int>(online) : 1;
}

} // namespace velquist
