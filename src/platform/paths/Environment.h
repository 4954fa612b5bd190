#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvaline {

// Reads one environment variable: nullopt when it is not set. Tests hand in their own.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The process environment. Any thread (nothing here changes the environment).
EnvironmentLookup processEnvironment();

}  // namespace corvaline
