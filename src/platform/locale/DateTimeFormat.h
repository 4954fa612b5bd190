#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace corvaline {

// Locale-aware dates and times in one time zone, in the styles of the user's locale.
// One owner, one thread at a time.
class DateTimeFormat {
  public:
    enum class Style { none, shortStyle, mediumStyle, longStyle };
    using TimePoint = std::chrono::system_clock::time_point;

    // Empty names mean the process's default locale and time zone.
    DateTimeFormat(Style date, Style time, const std::string& locale = {},
                   const std::string& timeZone = {});
    ~DateTimeFormat();
    DateTimeFormat(DateTimeFormat&&) noexcept;
    DateTimeFormat& operator=(DateTimeFormat&&) noexcept;

    std::string format(TimePoint when);
    // Same era, year, month and day in this formatter's calendar and time zone.
    bool isSameDay(TimePoint a, TimePoint b);

  private:
    struct Formatter;
    std::unique_ptr<Formatter> formatter_;
};

}  // namespace corvaline
