#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

#include "core/model/store/Value.h"

namespace corvaline::ui {

// Time stamps as the windows show them. GUI thread.
class DateText {
  public:
    // The time alone for a date of today, date and time otherwise or when `forceDay` is set,
    // in the styles of the user's locale. No date means now.
    static QString format(const std::optional<QDateTime>& date, bool forceDay);
    // The same for a date of the store.
    static QString formatDate(const std::optional<Date>& date, bool forceDay);
};

}  // namespace corvaline::ui
