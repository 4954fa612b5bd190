#include "core/format/ByteCountFormatter.h"

namespace corvaline {
namespace {

constexpr std::int64_t kLargestInBytes = 1000;
constexpr double kStep = 1000.0;

}  // namespace

ByteCountFormatter::ByteCountFormatter(const std::array<std::string, 4>& unitNames,
                                       const std::string& locale)
    : units_{unitNames[0], unitNames[1], unitNames[2], unitNames[3], "TB", "PB", "EB", "ZB", "YB"},
      number_(locale, 2) {}

std::string ByteCountFormatter::stringFromByteCount(std::int64_t count) {
    if (count <= kLargestInBytes) {
        return number_.format(static_cast<double>(count), 0) + " " + units_[0];
    }
    auto value = static_cast<double>(count);
    std::size_t unit = 0;
    // The unit steps only above 1000, so 1,000,000 bytes are 1,000.00 KB.
    do {
        value /= kStep;
        ++unit;
    } while (value > kStep && unit + 1 < units_.size());
    return number_.format(value, 2) + " " + units_[unit];
}

}  // namespace corvaline
