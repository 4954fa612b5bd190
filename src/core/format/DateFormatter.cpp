#include "core/format/DateFormatter.h"

namespace corvaline {

DateFormatter::DateFormatter(const std::string& locale, const std::string& timeZone)
    : time_(DateTimeFormat::Style::none, DateTimeFormat::Style::shortStyle, locale, timeZone),
      dateTime_(DateTimeFormat::Style::mediumStyle, DateTimeFormat::Style::shortStyle, locale,
                timeZone) {}

std::string DateFormatter::format(std::optional<TimePoint> date, bool forceDay, TimePoint now) {
    const TimePoint when = date.value_or(now);
    if (!forceDay && time_.isSameDay(when, now)) {
        return time_.format(when);
    }
    return dateTime_.format(when);
}

}  // namespace corvaline
