#include "platform/runloop/MainLoop.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace corvaline {
namespace {

constexpr double kNeverSeconds = 100.0 * 365 * 24 * 3600;

Clock::duration toClock(Duration d) {
    double seconds = std::isfinite(d.count()) ? std::min(d.count(), kNeverSeconds) : kNeverSeconds;
    return std::chrono::duration_cast<Clock::duration>(Duration(std::max(seconds, 0.0)));
}

// How long a loop on virtual time waits for blocks from other threads before it moves time on.
constexpr auto kVirtualGrace = std::chrono::milliseconds(5);

}  // namespace

struct MainLoop::State {
    struct Timer;
    using Key = std::pair<Clock::time_point, std::uint64_t>;

    std::shared_ptr<VirtualClock> clock;
    std::thread::id owner = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> ready;
    std::map<Key, std::shared_ptr<Timer>> timers;
    std::uint64_t nextTimerId = 0;
    bool stopping = false;
    bool sleeping = false;  // the loop's thread waits on `wake`

    Clock::time_point now() const { return clock ? clock->now() : Clock::now(); }
};

struct MainLoop::State::Timer : TimerHandle::Impl, std::enable_shared_from_this<Timer> {
    std::weak_ptr<State> state;
    std::function<void()> block;
    Clock::duration interval{};
    std::optional<Key> key;

    void scheduleLocked(State& s, Clock::time_point when) {
        key = Key{when, s.nextTimerId++};
        s.timers.emplace(*key, shared_from_this());
    }
    void unscheduleLocked(State& s) {
        if (key) {
            s.timers.erase(*key);
            key.reset();
        }
    }

    void cancel() override {
        if (auto s = state.lock()) {
            std::lock_guard lock(s->mutex);
            unscheduleLocked(*s);
        }
    }
    void reschedule(Duration delay) override {
        if (auto s = state.lock()) {
            std::lock_guard lock(s->mutex);
            unscheduleLocked(*s);
            scheduleLocked(*s, s->now() + toClock(delay));
            s->wake.notify_all();
        }
    }
    bool isScheduled() const override {
        if (auto s = state.lock()) {
            std::lock_guard lock(s->mutex);
            return key.has_value();
        }
        return false;
    }
};

MainLoop::MainLoop() : MainLoop(nullptr) {}

MainLoop::MainLoop(std::shared_ptr<VirtualClock> clock) : state_(std::make_shared<State>()) {
    state_->clock = std::move(clock);
}

MainLoop::~MainLoop() {
    std::lock_guard lock(state_->mutex);
    state_->timers.clear();  // timers capture their owners; break the cycles
}

void MainLoop::post(std::function<void()> block) {
    bool sleeping = false;
    {
        std::lock_guard lock(state_->mutex);
        state_->ready.push_back(std::move(block));
        sleeping = state_->sleeping;
    }
    // Only a sleeping loop is woken, and after the lock is let go: it would wait for it first.
    if (sleeping) {
        state_->wake.notify_all();
    }
}

TimerHandle MainLoop::postAfter(Duration delay, std::function<void()> block) {
    return addTimer(delay, Duration::zero(), std::move(block));
}

TimerHandle MainLoop::repeating(Duration interval, std::function<void()> block) {
    return addTimer(interval, interval, std::move(block));
}

TimerHandle MainLoop::addTimer(Duration delay, Duration interval, std::function<void()> block) {
    auto timer = std::make_shared<State::Timer>();
    timer->state = state_;
    timer->block = std::move(block);
    if (interval.count() > 0) {
        timer->interval = std::max(toClock(interval), Clock::duration(1));
    }
    std::lock_guard lock(state_->mutex);
    timer->scheduleLocked(*state_, state_->now() + toClock(delay));
    state_->wake.notify_all();
    return TimerHandle(timer);
}

Clock::time_point MainLoop::now() const {
    return state_->now();
}

bool MainLoop::isCurrent() const {
    return std::this_thread::get_id() == state_->owner;
}

void MainLoop::stop() {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_all();
}

bool MainLoop::turn(const std::function<bool()>& done) {
    bool ran = false;
    std::deque<std::function<void()>> blocks;
    {
        std::lock_guard lock(state_->mutex);
        blocks.swap(state_->ready);
    }
    while (!blocks.empty()) {
        auto block = std::move(blocks.front());
        blocks.pop_front();
        block();
        ran = true;
        if (done()) {
            // Keep the order of what is left for the next turn.
            std::lock_guard lock(state_->mutex);
            state_->ready.insert(state_->ready.begin(), std::make_move_iterator(blocks.begin()),
                                 std::make_move_iterator(blocks.end()));
            return true;
        }
    }
    while (true) {
        std::shared_ptr<State::Timer> timer;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->timers.empty() || state_->timers.begin()->first.first > state_->now()) {
                break;
            }
            timer = state_->timers.begin()->second;
            auto firedAt = timer->key->first;
            timer->unscheduleLocked(*state_);
            if (timer->interval > Clock::duration::zero()) {
                // A loop that fell behind skips the firings it missed.
                auto next = firedAt + timer->interval;
                if (next <= state_->now()) {
                    next = state_->now() + timer->interval;
                }
                timer->scheduleLocked(*state_, next);
            }
        }
        auto block = timer->block;  // the block may cancel or reschedule its own timer
        block();
        ran = true;
        if (done()) {
            return true;
        }
    }
    return ran;
}

void MainLoop::waitForWork(Clock::time_point deadline) {
    std::unique_lock lock(state_->mutex);
    if (!state_->ready.empty() || state_->stopping) {
        return;
    }
    Clock::time_point next = deadline;
    if (!state_->timers.empty()) {
        next = std::min(next, state_->timers.begin()->first.first);
    }
    state_->sleeping = true;
    if (state_->clock) {
        const bool woken = state_->wake.wait_for(
            lock, kVirtualGrace, [&] { return !state_->ready.empty() || state_->stopping; });
        state_->sleeping = false;
        if (!woken) {
            state_->clock->advanceTo(next);
        }
        return;
    }
    state_->wake.wait_until(lock, next, [&] {
        return !state_->ready.empty() || state_->stopping ||
               (!state_->timers.empty() && state_->timers.begin()->first.first < next);
    });
    state_->sleeping = false;
}

void MainLoop::run() {
    auto stopped = [this] {
        std::lock_guard lock(state_->mutex);
        return state_->stopping;
    };
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = false;
    }
    while (!stopped()) {
        if (!turn(stopped)) {
            waitForWork(now() + std::chrono::hours(1));
        }
    }
}

bool MainLoop::runUntil(const std::function<bool()>& predicate, Duration timeout) {
    const auto deadline = now() + toClock(timeout);
    // Timers due exactly at the deadline still run.
    while (!predicate()) {
        bool ran = turn(predicate);
        if (predicate()) {
            return true;
        }
        if (now() > deadline || (!ran && now() >= deadline)) {
            return false;
        }
        if (!ran) {
            waitForWork(deadline);
        }
    }
    return true;
}

void MainLoop::runPending() {
    turn([] { return false; });
}

}  // namespace corvaline
