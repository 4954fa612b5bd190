#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

namespace corvaline::testing {

// Handles events until `condition` holds or `milliseconds` have passed; answers the condition.
// GUI thread.
inline bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return condition();
}

}  // namespace corvaline::testing
