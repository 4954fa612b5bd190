#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvaline {

// Names that come from the network and name things on this disk. Any thread.

// One component of a received path: not empty, not "." or "..", no "/", "\" or NUL.
bool isSafeFileName(std::string_view name);
// The folders of a received "FILE-PATH" ("\" between components; "/" is taken as one too),
// none when any component is unsafe or the path is absolute. Empty gives no folders.
std::optional<std::vector<std::string>> confinedFolderPath(std::string_view filePath);
// A sender's name reduced to one folder name: separators and control characters become "_",
// at most `limit` bytes (never inside a UTF-8 sequence), "_" for nothing left.
std::string safeFolderName(std::string_view name, std::size_t limit = 200);

}  // namespace corvaline
