#include "platform/paths/Folders.h"

#include <unistd.h>

#include <system_error>

#include "platform/paths/Account.h"

namespace corvaline {

namespace {

// The XDG rules ignore a relative value as if it were unset.
std::filesystem::path xdgFolder(const EnvironmentLookup& env, std::string_view variable,
                                const std::filesystem::path& fallbackBelowHome) {
    if (auto value = env(variable); value && std::filesystem::path(*value).is_absolute()) {
        return *value;
    }
    return homeFolder(env) / fallbackBelowHome;
}

}  // namespace

std::filesystem::path homeFolder(const EnvironmentLookup& env) {
    if (auto home = env("HOME"); home && !home->empty())
        return *home;
    if (auto account = currentAccount(); account && !account->home.empty())
        return account->home;
    return "/";
}

std::filesystem::path applicationSupportFolder(const EnvironmentLookup& env) {
    return xdgFolder(env, "XDG_DATA_HOME", ".local/share");
}

std::filesystem::path configFolder(const EnvironmentLookup& env) {
    return xdgFolder(env, "XDG_CONFIG_HOME", ".config");
}

std::filesystem::path sandboxContainerFolder(const EnvironmentLookup& env) {
    return homeFolder(env) / ".var/app" / kBundleIdentifier / "data";
}

bool hasSandboxContainerId(const EnvironmentLookup& env) {
    return env("APP_SANDBOX_CONTAINER_ID").has_value();
}

bool isWritableFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error) && access(path.c_str(), W_OK) == 0;
}

}  // namespace corvaline
