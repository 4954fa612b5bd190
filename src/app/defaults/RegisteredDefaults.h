#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/defaults/UserDefaults.h"
#include "platform/paths/Environment.h"

namespace corvaline {

// Received files go here unless the user chose another folder: the product's folder inside
// the user's download folder, in tilde form. Any thread.
std::string defaultFileTransferPath(const EnvironmentLookup& env = processEnvironment());

// The 8-bit text encoding of packet fields (a string-encoding number, Windows-1250 to 1254)
// that suits the preferred languages, most preferred first. Any thread.
unsigned defaultTextEncoding(const std::vector<std::string>& languages);

// Every registered default of the application, as a JSON object. Any thread.
nlohmann::json applicationDefaults(const std::vector<std::string>& languages,
                                   const EnvironmentLookup& env = processEnvironment());

// The first thing the app and the node do at start-up, before any service runs: registers
// the application defaults and resets a received-files folder that is missing or not
// writable. Main thread.
void registerApplicationDefaults(UserDefaults& defaults, const std::vector<std::string>& languages,
                                 const EnvironmentLookup& env = processEnvironment());

}  // namespace corvaline
