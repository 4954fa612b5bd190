#include "platform/paths/OsRelease.h"

#include "platform/paths/TextFile.h"

namespace corvaline {

namespace {

// A value may be quoted with ' or "; inside double quotes a backslash escapes the next
// character, as the shell would read it.
std::string unquoted(std::string_view value) {
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') ||
        value.back() != value.front()) {
        return std::string(value);
    }
    const char quote = value.front();
    value = value.substr(1, value.size() - 2);
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (quote == '"' && value[i] == '\\' && i + 1 < value.size())
            ++i;
        text += value[i];
    }
    return text;
}

}  // namespace

std::string prettyNameIn(std::string_view osReleaseText) {
    constexpr std::string_view key = "PRETTY_NAME=";
    std::string result;
    while (!osReleaseText.empty()) {
        const size_t end = osReleaseText.find('\n');
        std::string_view line = osReleaseText.substr(0, end);
        osReleaseText =
            end == std::string_view::npos ? std::string_view() : osReleaseText.substr(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.starts_with(key))
            result = unquoted(line.substr(key.size()));
    }
    return result;
}

std::string operatingSystemText() {
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        const auto text = readWholeFile(file);
        if (!text)
            continue;
        if (auto name = prettyNameIn(*text); !name.empty())
            return name;
    }
    return "Linux";
}

}  // namespace corvaline
