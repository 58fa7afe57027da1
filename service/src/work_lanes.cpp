#include "work_lanes.h"

#include <algorithm>

namespace velquist::service {

WorkLanes::WorkLanes(Limits limits) {
    hash_.workers = std::max(1u, limits.hash_workers);
    hash_.per_address = std::clamp(limits.hash_per_address, 1u, hash_.workers);
    store_.workers = std::max(1u, limits.store_workers);
    store_.per_address = store_.workers;
    for (Lane* lane : {&hash_, &store_}) {
        for (unsigned i = 0; i < lane->workers; ++i) {
            threads_.emplace_back([this, lane] { Run(*lane); });
        }
    }
}

WorkLanes::~WorkLanes() {
    Stop();
    for (auto& thread : threads_) {
        thread.join();
    }
}

void WorkLanes::Submit(Kind kind, const std::string& address, const std::string& phone, Task task) {
    Lane& lane = kind == Kind::kHash ? hash_ : store_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopping_) {
            auto& queue = lane.queued[address];
            if (queue.empty()) {
                lane.turns.push_back(address);
            }
            queue.push_back(Pending{phone, std::move(task)});
            task = nullptr;
        }
    }
    if (task) {
        task(false);
        return;
    }
    ready_.notify_all();
}

void WorkLanes::Stop() {
    std::map<std::string, std::deque<Pending>> dropped[2];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        dropped[0].swap(hash_.queued);
        dropped[1].swap(store_.queued);
        hash_.turns.clear();
        store_.turns.clear();
    }
    ready_.notify_all();
    for (auto& queues : dropped) {
        for (auto& [address, queue] : queues) {
            for (auto& pending : queue) {
                pending.task(false);
            }
        }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return hash_.running + store_.running == 0; });
}

// The next task whose address and phone have room, taking addresses in turn;
// false when none may start now. Called with the mutex held.
bool WorkLanes::Take(Lane& lane, Picked* picked) {
    if (lane.running >= lane.workers) {
        return false;
    }
    for (std::size_t turn = 0; turn < lane.turns.size(); ++turn) {
        const std::string address = lane.turns[turn];
        if (lane.running_per_address[address] >= lane.per_address) {
            continue;
        }
        auto& queue = lane.queued[address];
        const auto it = std::find_if(queue.begin(), queue.end(), [&lane](const Pending& p) {
            return p.phone.empty() || lane.running_phones.count(p.phone) == 0;
        });
        if (it == queue.end()) {
            continue;
        }
        *picked = Picked{address, it->phone, std::move(it->task)};
        queue.erase(it);
        // Served: to the back of the line, or out of it when nothing is left.
        lane.turns.erase(lane.turns.begin() + static_cast<std::ptrdiff_t>(turn));
        if (queue.empty()) {
            lane.queued.erase(address);
        } else {
            lane.turns.push_back(address);
        }
        ++lane.running;
        ++lane.running_per_address[address];
        if (!picked->phone.empty()) {
            lane.running_phones.insert(picked->phone);
        }
        return true;
    }
    return false;
}

void WorkLanes::Done(Lane& lane, const Picked& picked) {
    --lane.running;
    if (--lane.running_per_address[picked.address] == 0) {
        lane.running_per_address.erase(picked.address);
    }
    if (!picked.phone.empty()) {
        lane.running_phones.erase(picked.phone);
    }
}

void WorkLanes::Run(Lane& lane) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Picked picked;
        ready_.wait(lock, [&] { return stopping_ || Take(lane, &picked); });
        if (!picked.task) {
            return;
        }
        lock.unlock();
        picked.task(true);
        picked.task = nullptr;
        lock.lock();
        Done(lane, picked);
        // A finished task may let a held-back address or phone go next.
        ready_.notify_all();
    }
}

} // namespace velquist::service
