#pragma once

#include <string>
#include <vector>

namespace corvaline::node {

// How the node takes apart the texts and lists of its commands. Pure functions: any thread.

// The text cut into pieces of at most 10000 characters (never inside one), as a conversation
// hands text on.
std::vector<std::string> pieces(const std::string& text);
// The non-empty parts between separators.
std::vector<std::string> split(const std::string& list, char separator);

}  // namespace corvaline::node
