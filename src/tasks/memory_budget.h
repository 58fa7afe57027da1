#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velquist {

// The machine's available memory (MemAvailable), 0 when it cannot be read.
std::uint64_t AvailableMemory();
// What a batch may use at once: half of what was available when it started.
std::uint64_t DefaultMemoryBudget();

// Admits jobs by their estimated memory, so that the running jobs together stay within the
// budget whatever sizes their files claim.
class MemoryBudget {
  public:
    enum class Admission { kAdmitted, kTooLarge, kCancelled };

    // A new batch's budget; jobs still holding memory keep it.
    void Reset(std::uint64_t total);
    std::uint64_t Total() const;

    // Waits until bytes fit beside what the running jobs hold. kTooLarge at once when bytes
    // alone exceed the budget; kCancelled when cancel turns true while waiting.
    Admission Acquire(std::uint64_t bytes, const std::atomic<bool>& cancel);
    void Release(std::uint64_t bytes);

  private:
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t total_ = 0;
    std::uint64_t used_ = 0;
};

} // namespace velquist
