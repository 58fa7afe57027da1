#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velquist::service {

// The workers that run requests which may wait on Argon2id or the database,
// shared out so that a few clients cannot take them from everybody else.
//
// Password checks (login, registration, reset) have workers of their own, at
// most as many as may hash at once; each client address gets only a part of
// them, one phone number only one, and addresses take turns. Other stored
// work (SMS codes, feedback) runs on the remaining workers, addresses taking
// turns too, so a flood of logins never delays it.
class WorkLanes {
  public:
    enum class Kind { kHash, kStore };
    struct Limits {
        unsigned hash_workers = 2;
        unsigned store_workers = 8;
        // Password checks one address may have running at once.
        unsigned hash_per_address = 1;
    };
    // `run(true)` does the work; `run(false)` tells it that it never will
    // (the service is stopping).
    using Task = std::function<void(bool run)>;

    explicit WorkLanes(Limits limits);
    ~WorkLanes();
    WorkLanes(const WorkLanes&) = delete;
    WorkLanes& operator=(const WorkLanes&) = delete;

    // `phone` may be empty (no phone-wise turn for this task).
    void Submit(Kind kind, const std::string& address, const std::string& phone, Task task);
    // Runs nothing more: tasks not started are told so; returns once the
    // running ones have finished.
    void Stop();

  private:
    struct Pending {
        std::string phone;
        Task task;
    };
    // One kind's queue: per address, and the order in which addresses take turns.
    struct Lane {
        std::map<std::string, std::deque<Pending>> queued;
        std::deque<std::string> turns;
        std::map<std::string, unsigned> running_per_address;
        std::set<std::string> running_phones;
        unsigned running = 0;
        unsigned workers = 0;
        unsigned per_address = 0;
    };
    struct Picked {
        std::string address;
        std::string phone;
        Task task;
    };

    void Run(Lane& lane);
    bool Take(Lane& lane, Picked* picked);
    void Done(Lane& lane, const Picked& picked);

    std::mutex mutex_;
    std::condition_variable ready_;
    bool stopping_ = false;
    Lane hash_;
    Lane store_;
    std::vector<std::thread> threads_;
};

} // namespace velquist::service
