#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvaline {

// The PRETTY_NAME of os-release (/etc/os-release, else /usr/lib/os-release), "Linux" when
// neither names one. Any thread.
std::string operatingSystemText();
// The PRETTY_NAME in the text of one os-release file, empty when absent.
std::string prettyNameIn(std::string_view osReleaseText);

}  // namespace corvaline
