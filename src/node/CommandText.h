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
// A command line as a person types it: a space may stand for the TAB between the command and
// its first field ("status 1"); lines with a TAB there already pass unchanged.
std::string typedCommand(std::string line);
// True for the command that asks for the command list.
bool isHelp(const std::vector<std::string>& command);
// The command list, one command with its fields per line.
std::vector<std::string> commandList();

}  // namespace corvaline::node
