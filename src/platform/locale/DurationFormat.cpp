#include "platform/locale/DurationFormat.h"

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace corvaline {

std::optional<std::string> DurationFormat::format(std::int64_t days, std::int64_t hours,
                                                  std::int64_t minutes, const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale where =
        locale.empty() ? icu::Locale::getDefault() : icu::Locale::forLanguageTag(locale, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    icu::MeasureFormat formatter(where, UMEASFMT_WIDTH_WIDE, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::vector<icu::Measure> measures;
    // The measure adopts its unit; a unit left out is freed here.
    const auto add = [&](std::int64_t count, icu::MeasureUnit* unit, bool evenZero) {
        std::unique_ptr<icu::MeasureUnit> owned(unit);
        if (U_SUCCESS(status) && owned && (count != 0 || evenZero)) {
            measures.emplace_back(icu::Formattable(count), owned.release(), status);
        }
    };
    add(days, icu::MeasureUnit::createDay(status), false);
    add(hours, icu::MeasureUnit::createHour(status), false);
    add(minutes, icu::MeasureUnit::createMinute(status), measures.empty());
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    icu::UnicodeString text;
    icu::FieldPosition position(icu::FieldPosition::DONT_CARE);
    formatter.formatMeasures(measures.data(), static_cast<int32_t>(measures.size()), text, position,
                             status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace corvaline
