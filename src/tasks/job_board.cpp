#include "job_board.h"

#include <memory>

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

bool JobBoard::WaitUntilIdle(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, wait, [this] { return active_ == 0; });
}

bool JobBoard::Post(TaskOwner* owner, int id, TaskStatus status) {
    // Under the lock: once ReleaseOwner returns, no post is under way either. A lock of its
    // own, so that an owner may look at the board while it takes the post.
    std::lock_guard lock(ownerMutex_);
    if (ownerReleased_ || owner == nullptr) {
        return false;
    }
    auto report = std::make_unique<TaskStatusReport>(TaskStatusReport{id, status});
    if (!owner->PostTaskStatus(report.get())) {
        return false;
    }
    report.release(); // the owner took it
    return true;
}

void JobBoard::ReleaseOwner() {
    std::lock_guard lock(ownerMutex_);
    ownerReleased_ = true;
}

void JobBoard::SetReason(int id, std::string reason, FailureKind kind) {
    std::lock_guard lock(mutex_);
    if (kind != FailureKind::kOther) {
        kinds_[id] = kind;
    } else {
        kinds_.erase(id);
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

FailureKind JobBoard::Kind(int id) const {
    std::lock_guard lock(mutex_);
    const auto it = kinds_.find(id);
    return it == kinds_.end() ? FailureKind::kOther : it->second;
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
