#pragma once

#include "job_runner.h"

namespace velquist {

// Converts on the job thread without a worker process. No isolation: a decoder crash takes
// the whole program down. Meant for measuring the cost of the worker process.
class InProcessJobRunner : public JobRunner {
  public:
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) override;
};

} // namespace velquist
