#pragma once

#include <QString>
#include <cstdint>

namespace corvaline::ui {

// How long ago or how long, as the user-information window words it. GUI thread.
struct IntervalText {
    // "less than 1 minute" under 60 seconds; else days, hours and minutes in the locale's full
    // words, or the fallback for the first preferred language when the locale has no such
    // formatter.
    static QString ParceInterval(double seconds);

    // The fallbacks, from whole seconds: English counts the non-zero units ("2 hours,
    // 1 minute"); other languages use the fixed "(s)" forms.
    static QString englishInterval(std::int64_t seconds);
    static QString otherLanguageInterval(std::int64_t seconds);
};

}  // namespace corvaline::ui
