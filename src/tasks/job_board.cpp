#include "job_board.h"

namespace velquist {

void JobBoard::Enter() {
    std::lock_guard lock(mutex_);
    ++active_;
}

void JobBoard::Leave() {
    std::lock_guard lock(mutex_);
    --active_;
    // Notified under the lock: the waiter may destroy its side as soon as it sees zero.
    idle_.notify_all();
}

void JobBoard::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return active_ == 0; });
}

void JobBoard::SetReason(int id, std::string reason, bool tooLarge) {
    std::lock_guard lock(mutex_);
    if (tooLarge) {
        tooLarge_.insert(id);
    } else {
        tooLarge_.erase(id);
    }
    if (reason.empty()) {
        reasons_.erase(id);
        return;
    }
    reasons_[id] = std::move(reason);
}

std::string JobBoard::Reason(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = reasons_.find(id);
    return it == reasons_.end() ? std::string() : it->second;
}

bool JobBoard::TooLarge(int id) const {
    std::lock_guard lock(mutex_);
    return tooLarge_.count(id) != 0;
}

void JobBoard::SetStatus(int id, TaskStatus status) {
    std::lock_guard lock(mutex_);
    statuses_[id] = status;
}

std::optional<TaskStatus> JobBoard::Status(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = statuses_.find(id);
    return it == statuses_.end() ? std::nullopt : std::optional(it->second);
}

void JobBoard::ForgetStatus(int id) {
    std::lock_guard lock(mutex_);
    statuses_.erase(id);
}

} // namespace velquist
