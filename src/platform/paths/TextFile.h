#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace corvaline {

// The whole content of `file`; none when it cannot be opened or read. Any thread.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

}  // namespace corvaline
