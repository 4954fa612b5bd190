#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace corvaline::ui {

// Time stamps as the windows show them. GUI thread.
class DateText {
  public:
    // The time alone for a date of today, date and time otherwise or when `forceDay` is set,
    // in the styles of the user's locale. No date means now.
    static QString format(const std::optional<QDateTime>& date, bool forceDay);
};

}  // namespace corvaline::ui
