#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvaline::node {

// The node's command and event lines: fields separated by TAB, with TAB, newline and
// backslash inside a field written as \t, \n and \\. UTF-8 passes through untouched.
std::string formatLine(const std::vector<std::string>& fields);
// A backslash before any other character, or at the end, stands for itself.
std::vector<std::string> parseLine(std::string_view line);

}  // namespace corvaline::node
