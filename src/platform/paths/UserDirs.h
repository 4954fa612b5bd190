#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/paths/Environment.h"

namespace corvaline {

// The user's download folder as the XDG user folders name it (localised or moved by the user):
// $XDG_DOWNLOAD_DIR, else XDG_DOWNLOAD_DIR of user-dirs.dirs in $XDG_CONFIG_HOME or in
// ~/.config, else ~/Downloads. Any thread.
std::filesystem::path downloadFolder(const EnvironmentLookup& env = processEnvironment());

// The value that `variable` is given in the text of a user-dirs.dirs file (the last one that
// counts), with "$HOME" replaced by `home`: only absolute paths and paths below "$HOME" count.
// Any thread.
std::optional<std::filesystem::path> userDirIn(std::string_view text, std::string_view variable,
                                               const std::filesystem::path& home);

}  // namespace corvaline
