#include "platform/locale/DateTimeFormat.h"

#include <unicode/ucal.h>
#include <unicode/udat.h>

#include <array>
#include <optional>

#include "platform/encodings/Utf.h"

namespace corvaline {
namespace {

struct DateFormatCloser {
    void operator()(UDateFormat* format) const { udat_close(format); }
};
struct CalendarCloser {
    void operator()(UCalendar* calendar) const { ucal_close(calendar); }
};

UDateFormatStyle icuStyle(DateTimeFormat::Style style) {
    switch (style) {
        case DateTimeFormat::Style::none:
            return UDAT_NONE;
        case DateTimeFormat::Style::shortStyle:
            return UDAT_SHORT;
        case DateTimeFormat::Style::mediumStyle:
            return UDAT_MEDIUM;
        case DateTimeFormat::Style::longStyle:
            return UDAT_LONG;
    }
    return UDAT_NONE;
}

UDate toUDate(DateTimeFormat::TimePoint when) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count());
}

struct DayKey {
    int32_t era, year, month, day;
    bool operator==(const DayKey&) const = default;
};

}  // namespace

struct DateTimeFormat::Formatter {
    std::unique_ptr<UDateFormat, DateFormatCloser> format;
    std::unique_ptr<UCalendar, CalendarCloser> calendar;

    std::optional<DayKey> day(TimePoint when) {
        if (!calendar) {
            return std::nullopt;
        }
        UErrorCode status = U_ZERO_ERROR;
        ucal_setMillis(calendar.get(), toUDate(when), &status);
        const DayKey key{ucal_get(calendar.get(), UCAL_ERA, &status),
                         ucal_get(calendar.get(), UCAL_YEAR, &status),
                         ucal_get(calendar.get(), UCAL_MONTH, &status),
                         ucal_get(calendar.get(), UCAL_DATE, &status)};
        if (U_FAILURE(status)) {
            return std::nullopt;
        }
        return key;
    }
};

DateTimeFormat::DateTimeFormat(Style date, Style time, const std::string& locale,
                               const std::string& timeZone)
    : formatter_(std::make_unique<Formatter>()) {
    const char* localeName = locale.empty() ? nullptr : locale.c_str();
    const std::u16string zone = utf8ToUtf16Replacing(timeZone);
    const UChar* zoneId = zone.empty() ? nullptr : zone.data();
    const auto zoneLength = static_cast<int32_t>(zone.size());

    UErrorCode status = U_ZERO_ERROR;
    formatter_->format.reset(udat_open(icuStyle(time), icuStyle(date), localeName, zoneId,
                                       zone.empty() ? 0 : zoneLength, nullptr, 0, &status));
    if (U_FAILURE(status)) {
        formatter_->format.reset();
    }
    status = U_ZERO_ERROR;
    formatter_->calendar.reset(
        ucal_open(zoneId, zone.empty() ? 0 : zoneLength, localeName, UCAL_DEFAULT, &status));
    if (U_FAILURE(status)) {
        formatter_->calendar.reset();
    }
}

DateTimeFormat::~DateTimeFormat() = default;
DateTimeFormat::DateTimeFormat(DateTimeFormat&&) noexcept = default;
DateTimeFormat& DateTimeFormat::operator=(DateTimeFormat&&) noexcept = default;

std::string DateTimeFormat::format(TimePoint when) {
    if (!formatter_->format) {
        return {};
    }
    std::array<UChar, 256> buffer{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = udat_format(formatter_->format.get(), toUDate(when), buffer.data(),
                                       static_cast<int32_t>(buffer.size()), nullptr, &status);
    if (U_FAILURE(status) || length < 0 || length > static_cast<int32_t>(buffer.size())) {
        return {};
    }
    return utf16ToUtf8Replacing(
        std::u16string_view(buffer.data(), static_cast<std::size_t>(length)));
}

bool DateTimeFormat::isSameDay(TimePoint a, TimePoint b) {
    const std::optional<DayKey> first = formatter_->day(a);
    return first && first == formatter_->day(b);
}

}  // namespace corvaline
