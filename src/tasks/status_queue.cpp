#include "status_queue.h"

namespace velquist {

bool StatusQueue::PostTaskStatus(TaskStatusReport* report) {
    if (!report) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        reports_.emplace_back(report);
    }
    arrived_.notify_all();
    return true;
}

std::optional<TaskStatusReport> StatusQueue::Pop(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !reports_.empty(); })) {
        return std::nullopt;
    }
    const TaskStatusReport report = *reports_.front();
    reports_.pop_front();
    return report;
}

} // namespace velquist
