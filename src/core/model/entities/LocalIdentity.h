#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvaline {

// The user id of the local account on this machine: "A" and nine digits from a hash of the
// machine id and the account's uid. The bare uid is not used: uid 1000 exists on nearly every
// machine, and two copies with one id stop each other. Nothing without a machine id.
// Pure: any thread.
std::optional<std::string> userIdForMachine(std::string_view machineId, unsigned uid);

// The machine id from the first readable file, trimmed; nothing when none holds one.
// Any thread.
std::optional<std::string> readMachineId(const std::vector<std::filesystem::path>& files = {
                                             "/etc/machine-id", "/var/lib/dbus/machine-id"});

}  // namespace corvaline
