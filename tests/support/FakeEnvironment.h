#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/paths/Environment.h"

namespace corvaline::testing {

// An environment holding exactly `variables`.
inline EnvironmentLookup fakeEnvironment(std::map<std::string, std::string> variables) {
    return [variables = std::move(variables)](std::string_view name) -> std::optional<std::string> {
        auto found = variables.find(std::string(name));
        if (found == variables.end())
            return std::nullopt;
        return found->second;
    };
}

}  // namespace corvaline::testing
