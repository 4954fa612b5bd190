#include "node/CommandText.h"

#include <sstream>

namespace corvaline::node {

namespace {

constexpr std::size_t kMaximumPiece = 10000;

}  // namespace

std::vector<std::string> pieces(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && characters == kMaximumPiece) {
            result.push_back(text.substr(start, i - start));
            start = i;
            characters = 0;
        }
        characters += startsCharacter ? 1 : 0;
    }
    if (start < text.size() || result.empty()) {
        result.push_back(text.substr(start));
    }
    return result;
}

std::vector<std::string> split(const std::string& list, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(list);
    for (std::string part; std::getline(stream, part, separator);) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

std::string typedCommand(std::string line) {
    const auto space = line.find(' ');
    if (space != std::string::npos && space < line.find('\t') && space > 0) {
        line[space] = '\t';
    }
    return line;
}

bool isHelp(const std::vector<std::string>& command) {
    return command.size() == 1 && command.front() == "help";
}

std::vector<std::string> commandList() {
    return {
        "name TEXT",
        "status 0|1|2|10",
        "send USERID TEXT",
        "mass USERID,USERID,... TEXT",
        "typing USERID",
        "info USERID",
        "roster",
        "history USERID",
        "files USERID PATH...",
        "plainfiles USERID PATH...",
        "transfer N 0|1|4",
        "chat USERID,USERID,...",
        "chat-send ROOMID TEXT",
        "chat-leave ROOMID",
        "help",
        "quit",
    };
}

}  // namespace corvaline::node
