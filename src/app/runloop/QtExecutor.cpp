#include "app/runloop/QtExecutor.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

namespace corvaline::app {
namespace {

// How long one slice of posted blocks may run before the loop has its turn.
constexpr qint64 kSliceMs = 20;

// QTimer counts in int milliseconds; anything longer (or not finite) never fires.
std::optional<int> milliseconds(Duration delay) {
    const double ms = std::ceil(std::max(delay.count(), 0.0) * 1000.0);
    if (!std::isfinite(ms) || ms > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(ms);
}

// What a timer's QTimer and its handles share. The QTimer belongs to the executor's context
// object, so after the executor is gone the pointer is null and the handles do nothing.
struct TimerState {
    QPointer<QTimer> timer;
    int intervalMs = 0;  // 0: one-shot
    bool neverFires = false;
    bool scheduled = false;
    bool orphaned = false;  // no handle is left: a one-shot timer goes once it has fired
};

class QtTimer : public TimerHandle::Impl {
  public:
    explicit QtTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
    ~QtTimer() override {
        // Without handles the timer still fires as planned; one not planned is of no use.
        state_->orphaned = true;
        if (!state_->scheduled && state_->timer) {
            state_->timer->deleteLater();
        }
    }

    void start(Duration delay) {
        auto& timer = state_->timer;
        if (!timer) {
            return;
        }
        timer->stop();
        state_->scheduled = true;
        const auto ms = milliseconds(delay);
        if (ms && !state_->neverFires) {
            timer->start(*ms);  // also the interval until the first firing
        }
    }

    void cancel() override {
        state_->scheduled = false;
        if (state_->timer) {
            state_->timer->stop();
        }
    }
    void reschedule(Duration delay) override { start(delay); }
    bool isScheduled() const override { return state_->timer && state_->scheduled; }

  private:
    std::shared_ptr<TimerState> state_;
};

void fire(TimerState& state, const std::function<void()>& block) {
    QTimer* timer = state.timer;
    if (state.intervalMs == 0) {
        state.scheduled = false;
    } else if (timer->interval() != state.intervalMs) {
        timer->setInterval(state.intervalMs);  // after a moved first firing
    }
    const auto keep = block;  // the block may cancel, reschedule or drop its own timer
    keep();
    if (state.orphaned && !state.scheduled && state.timer) {
        state.timer->deleteLater();
    }
}

}  // namespace

QtExecutor::QtExecutor() : context_(new QObject), thread_(context_->thread()) {}

QtExecutor::~QtExecutor() {
    close();
}

void QtExecutor::close() {
    QObject* context = nullptr;
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        context = std::exchange(context_, nullptr);
        dropped.swap(blocks_);
    }
    delete context;  // stops and deletes every timer and drops the queued slice
    // `dropped` goes last, outside the lock: what the blocks held may post as it goes.
}

void QtExecutor::post(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    if (context_) {
        blocks_.push_back(std::move(block));
        if (!slicePending_) {
            scheduleSlice();
        }
    }
}

void QtExecutor::scheduleSlice() {
    slicePending_ = true;
    // An invocation queued while Qt delivers others waits for the loop's next pass.
    QMetaObject::invokeMethod(
        context_, [this] { runSlice(); }, Qt::QueuedConnection);
}

void QtExecutor::runSlice() {
    QElapsedTimer slice;
    slice.start();
    {
        // From here on, what is posted asks for the next slice: should a block run a loop of
        // its own (a modal dialog), that loop runs it.
        std::lock_guard lock(mutex_);
        slicePending_ = false;
    }
    while (true) {
        std::function<void()> block;
        {
            std::lock_guard lock(mutex_);
            if (!context_ || blocks_.empty()) {
                return;
            }
            if (slice.hasExpired(kSliceMs)) {
                if (!slicePending_) {
                    scheduleSlice();
                }
                return;
            }
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        block();
    }
}

TimerHandle QtExecutor::postAfter(Duration delay, std::function<void()> block) {
    return addTimer(delay, Duration::zero(), std::move(block));
}

TimerHandle QtExecutor::repeating(Duration interval, std::function<void()> block) {
    return addTimer(interval, interval, std::move(block));
}

TimerHandle QtExecutor::addTimer(Duration delay, Duration interval, std::function<void()> block) {
    assert(isCurrent());
    if (!context_) {
        return {};
    }
    auto state = std::make_shared<TimerState>();
    auto* timer = new QTimer(context_);
    state->timer = timer;
    timer->setTimerType(Qt::PreciseTimer);
    if (interval.count() > 0) {
        const auto ms = milliseconds(interval);
        state->intervalMs = std::max(ms.value_or(1), 1);
        state->neverFires = !ms;
    }
    timer->setSingleShot(state->intervalMs == 0);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [state, block = std::move(block)] { fire(*state, block); });
    auto handle = std::make_shared<QtTimer>(state);
    handle->start(delay);
    return TimerHandle(handle);
}

bool QtExecutor::isCurrent() const {
    return QThread::currentThread() == thread_;
}

}  // namespace corvaline::app
