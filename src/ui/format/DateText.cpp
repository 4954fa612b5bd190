#include "ui/format/DateText.h"

#include <QLocale>

#include "core/format/DateFormatter.h"

namespace corvaline::ui {

QString DateText::format(const std::optional<QDateTime>& date, bool forceDay) {
    static DateFormatter formatter(QLocale().name().toStdString());
    std::optional<DateFormatter::TimePoint> when;
    if (date) {
        when = DateFormatter::TimePoint(std::chrono::milliseconds(date->toMSecsSinceEpoch()));
    }
    return QString::fromStdString(formatter.format(when, forceDay));
}

}  // namespace corvaline::ui
