#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace velquist {

// What the engine and its detached job threads share. Each job holds a reference, so the
// board outlives an engine that is torn down while a job thread finishes its last steps.
class JobBoard {
  public:
    std::atomic<bool> cancel{false};

    void Enter();
    void Leave();
    void WaitUntilIdle();

    void SetReason(int id, std::string reason);
    std::string Reason(int id) const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t active_ = 0;
    std::map<int, std::string> reasons_;
};

} // namespace velquist
