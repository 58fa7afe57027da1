#include "thread_budget.h"

namespace velquist {

int DecodeThreadsPerJob(int jobs, int cores) {
    if (jobs < 1)
        jobs = 1;
    if (cores < 1)
        cores = 1;
    // Placeholder until measured.
    return cores / jobs > 1 ? cores / jobs : 1;
}

} // namespace velquist
