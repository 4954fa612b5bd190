#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/Environment.h"

namespace corvaline {

// The user's preferred languages as BCP-47 tags, most preferred first: the LANGUAGE list,
// else the first set one of LC_ALL, LC_MESSAGES, LANG. Any thread.
std::vector<std::string> preferredLanguages(const EnvironmentLookup& env = processEnvironment());

// One POSIX locale name as a language tag: "sr_RS.UTF-8@latin" -> "sr-Latn-RS".
// Empty for "C", "POSIX" and an empty name.
std::string languageTagFromLocale(std::string_view locale);

}  // namespace corvaline
