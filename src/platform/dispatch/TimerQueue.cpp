#include "platform/dispatch/TimerQueue.h"

#include <vector>

namespace corvaline::dispatch {

TimerQueue::Id TimerQueue::add(Clock::time_point when, Fire fire) {
    std::lock_guard lock(mutex_);
    const Id id = nextId_++;
    deadlines_.emplace(Key{when, id}, std::move(fire));
    whenOf_.emplace(id, when);
    // A timer set for a later time is moved; one set for an earlier time reports, finds
    // nothing or something else due, and is set again for the earliest left.
    if (!armedFor_ || when < *armedFor_) {
        armLocked(when);
    }
    return id;
}

void TimerQueue::remove(Id id) {
    std::lock_guard lock(mutex_);
    auto found = whenOf_.find(id);
    if (found == whenOf_.end()) {
        return;
    }
    deadlines_.erase(Key{found->second, id});
    whenOf_.erase(found);
}

void TimerQueue::armLocked(Clock::time_point when) {
    armedFor_ = when;
    reactor_.setTimer(when);
}

void TimerQueue::onTimer() {
    std::vector<Fire> due;
    {
        std::lock_guard lock(mutex_);
        armedFor_.reset();
        const auto now = Clock::now();
        while (!deadlines_.empty() && deadlines_.begin()->first.first <= now) {
            auto first = deadlines_.begin();
            whenOf_.erase(first->first.second);
            due.push_back(std::move(first->second));
            deadlines_.erase(first);
        }
        if (!deadlines_.empty()) {
            armLocked(deadlines_.begin()->first.first);
        }
    }
    for (auto& fire : due) {
        fire();
    }
}

}  // namespace corvaline::dispatch
