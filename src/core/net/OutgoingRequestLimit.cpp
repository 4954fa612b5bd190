#include "core/net/OutgoingRequestLimit.h"

#include <utility>

namespace corvaline {

void OutgoingRequestLimit::start(std::function<void()> start) {
    if (inFlight_ >= kInFlight) {
        waiting_.push_back(std::move(start));
        return;
    }
    ++inFlight_;
    start();
}

void OutgoingRequestLimit::finished() {
    if (inFlight_ > 0) {
        --inFlight_;
    }
    if (!waiting_.empty() && inFlight_ < kInFlight) {
        auto next = std::move(waiting_.front());
        waiting_.pop_front();
        ++inFlight_;
        next();
    }
}

}  // namespace corvaline
