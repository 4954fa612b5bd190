#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/locale/DateTimeFormat.h"

namespace corvaline {

// Time stamps of history entries: the time alone for today, date and time otherwise, in the
// styles of the user's locale. Main thread only.
class DateFormatter {
  public:
    using TimePoint = std::chrono::system_clock::time_point;

    // Empty names mean the process's default locale and time zone.
    explicit DateFormatter(const std::string& locale = {}, const std::string& timeZone = {});

    // Nothing means now. forceDay always gives date and time.
    std::string format(std::optional<TimePoint> date, bool forceDay,
                       TimePoint now = std::chrono::system_clock::now());

  private:
    DateTimeFormat time_;
    DateTimeFormat dateTime_;
};

}  // namespace corvaline
