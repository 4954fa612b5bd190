#include "ui/info/IntervalText.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

#include "platform/locale/DurationFormat.h"
#include "platform/locale/PreferredLanguages.h"

namespace corvaline::ui {
namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("UserInformationWindow", text);
}

struct Split {
    std::int64_t days, hours, minutes;
};

Split split(std::int64_t seconds) {
    const std::int64_t days = seconds / 86400;
    seconds %= 86400;
    return {days, seconds / 3600, seconds % 3600 / 60};
}

}  // namespace

QString IntervalText::ParceInterval(double seconds) {
    if (!(seconds >= 60.0)) {
        return tr("less than 1 minute");
    }
    // Beyond any real idle time or absence; keeps the conversion defined.
    const auto whole = static_cast<std::int64_t>(std::min(seconds, 1e15));
    const auto [days, hours, minutes] = split(whole);
    if (auto words = DurationFormat::format(days, hours, minutes)) {
        return QString::fromStdString(*words);
    }
    const auto languages = preferredLanguages();
    if (!languages.empty() && languages.front().starts_with("en")) {
        return englishInterval(whole);
    }
    return otherLanguageInterval(whole);
}

QString IntervalText::englishInterval(std::int64_t seconds) {
    const auto [days, hours, minutes] = split(seconds);
    QStringList pieces;
    const auto add = [&](std::int64_t count, const char* unit) {
        if (count != 0) {
            pieces << QStringLiteral("%1 %2%3")
                          .arg(count)
                          .arg(QLatin1String(unit))
                          .arg(count >= 2 ? QStringLiteral("s") : QString());
        }
    };
    add(days, "day");
    add(hours, "hour");
    add(minutes, "minute");
    return pieces.join(QStringLiteral(", "));
}

QString IntervalText::otherLanguageInterval(std::int64_t seconds) {
    const auto [days, hours, minutes] = split(seconds);
    if (days != 0) {
        return tr("%1 day(s), %2 hour(s), %3 minute(s)").arg(days).arg(hours).arg(minutes);
    }
    if (hours != 0) {
        return tr("%1 hour(s), %2 minute(s)").arg(hours).arg(minutes);
    }
    return tr("%1 minutes").arg(minutes);
}

}  // namespace corvaline::ui
