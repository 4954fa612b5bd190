#pragma once

#include <filesystem>
#include <string_view>

#include "platform/paths/Environment.h"

namespace corvaline {

inline constexpr std::string_view kBundleIdentifier = "com.tarvelo.Corvaline";

// Where the program keeps its files. Any thread.

// $HOME, else the account's home folder, else "/".
std::filesystem::path homeFolder(const EnvironmentLookup& env = processEnvironment());
// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path applicationSupportFolder(const EnvironmentLookup& env = processEnvironment());
// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path configFolder(const EnvironmentLookup& env = processEnvironment());
// The Flatpak per-application data folder, ~/.var/app/com.tarvelo.Corvaline/data.
std::filesystem::path sandboxContainerFolder(const EnvironmentLookup& env = processEnvironment());
// APP_SANDBOX_CONTAINER_ID is set.
bool hasSandboxContainerId(const EnvironmentLookup& env = processEnvironment());

// An existing folder this process may create files in.
bool isWritableFolder(const std::filesystem::path& path);

}  // namespace corvaline
