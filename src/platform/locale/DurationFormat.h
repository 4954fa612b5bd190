#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvaline {

// A span of days, hours and minutes in full words of a locale ("1 day, 2 hours, 5 minutes"),
// zero units left out. Any thread.
struct DurationFormat {
    // None when the locale's formatter cannot be made or fails; an empty locale name means
    // the process's default locale. Zero in every unit gives "0 minutes".
    static std::optional<std::string> format(std::int64_t days, std::int64_t hours,
                                             std::int64_t minutes, const std::string& locale = {});
};

}  // namespace corvaline
