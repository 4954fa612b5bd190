#include "platform/paths/UserDirs.h"

#include <sstream>
#include <string>

#include "platform/paths/Folders.h"
#include "platform/paths/TextFile.h"

namespace corvaline {

namespace {

constexpr std::string_view kDownloadVariable = "XDG_DOWNLOAD_DIR";
constexpr std::string_view kHomeVariable = "$HOME";

std::string_view trimmedLeft(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// A folder written as "$HOME", "$HOME/..." or an absolute path; anything else (a relative
// path, another variable) is no folder, as the XDG tools read it.
std::optional<std::filesystem::path> folderFrom(std::string_view value,
                                                const std::filesystem::path& home) {
    if (value.starts_with(kHomeVariable)) {
        const std::string_view below = value.substr(kHomeVariable.size());
        if (!below.empty() && below.front() != '/') {
            return std::nullopt;  // "$HOMEWORK/x" names another variable
        }
        const auto relative = std::filesystem::path(below).relative_path();
        return relative.empty() ? home : home / relative;
    }
    if (value.starts_with('/')) {
        return std::filesystem::path(value);
    }
    return std::nullopt;
}

// The quoted value of a `NAME="value"` line with its backslash escapes undone; none when the
// line does not set `variable` so.
std::optional<std::string> quotedValue(std::string_view line, std::string_view variable) {
    line = trimmedLeft(line);
    if (!line.starts_with(variable)) {
        return std::nullopt;
    }
    line = trimmedLeft(line.substr(variable.size()));
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    line = trimmedLeft(line.substr(1));
    if (!line.starts_with('"')) {
        return std::nullopt;
    }
    std::string value;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            return value;
        }
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
        }
        value += line[i];
    }
    return std::nullopt;  // no closing quote
}

std::optional<std::filesystem::path> userDirInFile(const std::filesystem::path& file,
                                                   std::string_view variable,
                                                   const std::filesystem::path& home) {
    const auto text = readWholeFile(file);
    return text ? userDirIn(*text, variable, home) : std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> userDirIn(std::string_view text, std::string_view variable,
                                               const std::filesystem::path& home) {
    std::optional<std::filesystem::path> found;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (const auto value = quotedValue(line, variable)) {
            if (auto folder = folderFrom(*value, home)) {
                found = std::move(folder);
            }
        }
    }
    return found;
}

std::filesystem::path downloadFolder(const EnvironmentLookup& env) {
    const std::filesystem::path home = homeFolder(env);
    if (const auto value = env(kDownloadVariable)) {
        if (auto folder = folderFrom(*value, home)) {
            return *folder;
        }
    }
    // The configuration folder first, then the usual one where it is elsewhere.
    for (const auto& config : {configFolder(env), home / ".config"}) {
        if (auto folder = userDirInFile(config / "user-dirs.dirs", kDownloadVariable, home)) {
            return *folder;
        }
    }
    return home / "Downloads";
}

}  // namespace corvaline
