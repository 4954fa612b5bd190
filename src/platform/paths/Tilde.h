#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/paths/Folders.h"

namespace corvaline {

// "~" and "~/..." stand for the home folder; other paths pass unchanged. Any thread.
std::string expandTilde(std::string_view path, const std::filesystem::path& home = homeFolder());
// The inverse: a path inside the home folder comes back in "~/..." form.
std::string abbreviateWithTilde(std::string_view path,
                                const std::filesystem::path& home = homeFolder());

}  // namespace corvaline
