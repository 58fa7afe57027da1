#pragma once

#include "tasks/job_runner.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace velquist {

// Lets at most `slots` jobs of the inner runner work at once, for batches that must run
// fewer files in parallel than the engine starts. The engine keeps its own limit above it.
class ThrottledJobRunner : public JobRunner {
  public:
    ThrottledJobRunner(std::shared_ptr<JobRunner> inner, int slots);
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) override;

  private:
    bool Acquire(const std::atomic<bool>& cancel);
    void Release();

    std::shared_ptr<JobRunner> inner_;
    std::mutex mutex_;
    std::condition_variable freed_;
    int free_;
};

} // namespace velquist
