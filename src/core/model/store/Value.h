#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace corvaline {

// Dates of the store: wall-clock time, kept as seconds since 1970 UTC.
using Date = std::chrono::system_clock::time_point;

double secondsSince1970(Date date);
Date dateFromSecondsSince1970(double seconds);

enum class AttributeType { Boolean, Integer64, Double, Text, Date, Data };

// One attribute value; monostate is "no value". A plain value: any thread that owns it.
using Value = std::variant<std::monostate, bool, std::int64_t, double, std::string, Date,
                           std::vector<std::uint8_t>>;

// True when the value is empty or of the attribute's type.
bool fitsType(const Value& value, AttributeType type);

}  // namespace corvaline
