#include "memory_budget.h"

#include "util/handles.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace velquist {

namespace {
// When /proc/meminfo cannot tell: enough for a 200-megapixel photo.
constexpr std::uint64_t kFallbackBudget = std::uint64_t{2} << 30;
} // namespace

std::uint64_t AvailableMemory() {
    const FilePtr file(std::fopen("/proc/meminfo", "r"));
    if (!file) {
        return 0;
    }
    char line[256];
    while (std::fgets(line, sizeof line, file.get()) != nullptr) {
        unsigned long long kib = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
            return static_cast<std::uint64_t>(kib) * 1024;
        }
    }
    return 0;
}

std::uint64_t DefaultMemoryBudget() {
    const std::uint64_t available = AvailableMemory();
    return available == 0 ? kFallbackBudget : available / 2;
}

void MemoryBudget::Reset(std::uint64_t total) {
    std::lock_guard lock(mutex_);
    total_ = total;
    freed_.notify_all();
}

std::uint64_t MemoryBudget::Total() const {
    std::lock_guard lock(mutex_);
    return total_;
}

MemoryBudget::Admission MemoryBudget::Acquire(std::uint64_t bytes,
                                              const std::atomic<bool>& cancel) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (bytes > total_) {
            return Admission::kTooLarge;
        }
        if (cancel) {
            return Admission::kCancelled;
        }
        if (used_ + bytes <= total_) {
            used_ += bytes;
            return Admission::kAdmitted;
        }
        // Woken by every release; the timeout only looks at cancel now and then.
        freed_.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void MemoryBudget::Release(std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    used_ -= std::min(bytes, used_);
    freed_.notify_all();
}

} // namespace velquist
