#include "core/model/store/Value.h"

#include <cmath>

namespace corvaline {

double secondsSince1970(Date date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

Date dateFromSecondsSince1970(double seconds) {
    if (!std::isfinite(seconds)) {
        return Date{};
    }
    return Date{std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds))};
}

bool fitsType(const Value& value, AttributeType type) {
    switch (type) {
        case AttributeType::Boolean:
            return std::holds_alternative<std::monostate>(value) ||
                   std::holds_alternative<bool>(value);
        case AttributeType::Integer64:
            return std::holds_alternative<std::monostate>(value) ||
                   std::holds_alternative<std::int64_t>(value);
        case AttributeType::Double:
            return std::holds_alternative<std::monostate>(value) ||
                   std::holds_alternative<double>(value);
        case AttributeType::Text:
            return std::holds_alternative<std::monostate>(value) ||
                   std::holds_alternative<std::string>(value);
        case AttributeType::Date:
            return std::holds_alternative<std::monostate>(value) ||
                   std::holds_alternative<Date>(value);
        case AttributeType::Data:
            return std::holds_alternative<std::monostate>(value) ||
                   std::holds_alternative<std::vector<std::uint8_t>>(value);
    }
    return false;
}

}  // namespace corvaline
