#include "throttled_job_runner.h"

#include <chrono>

namespace velquist {

ThrottledJobRunner::ThrottledJobRunner(std::shared_ptr<JobRunner> inner, int slots)
    : inner_(std::move(inner)), free_(slots < 1 ? 1 : slots) {}

JobOutcome ThrottledJobRunner::Run(const ConvertTask& task, const std::atomic<bool>& cancel) {
    if (!Acquire(cancel)) {
        return {kTaskFailed, "conversion cancelled"};
    }
    JobOutcome outcome = inner_->Run(task, cancel);
    Release();
    return outcome;
}

bool ThrottledJobRunner::Acquire(const std::atomic<bool>& cancel) {
    std::unique_lock lock(mutex_);
    // cancel is a plain flag nobody signals us about, so look at it now and then.
    while (free_ == 0) {
        if (cancel) {
            return false;
        }
        freed_.wait_for(lock, std::chrono::milliseconds(100));
    }
    --free_;
    return true;
}

void ThrottledJobRunner::Release() {
    {
        std::lock_guard lock(mutex_);
        ++free_;
    }
    freed_.notify_one();
}

} // namespace velquist
