#include "ui/format/DateText.h"

#include <QLocale>

#include "core/format/DateFormatter.h"

namespace corvaline::ui {

namespace {

QString formatted(const std::optional<DateFormatter::TimePoint>& when, bool forceDay) {
    static DateFormatter formatter(QLocale().name().toStdString());
    return QString::fromStdString(formatter.format(when, forceDay));
}

}  // namespace

QString DateText::format(const std::optional<QDateTime>& date, bool forceDay) {
    std::optional<DateFormatter::TimePoint> when;
    if (date) {
        when = DateFormatter::TimePoint(std::chrono::milliseconds(date->toMSecsSinceEpoch()));
    }
    return formatted(when, forceDay);
}

QString DateText::formatDate(const std::optional<Date>& date, bool forceDay) {
    std::optional<DateFormatter::TimePoint> when;
    if (date) {
        when = std::chrono::time_point_cast<DateFormatter::TimePoint::duration>(*date);
    }
    return formatted(when, forceDay);
}

}  // namespace corvaline::ui
