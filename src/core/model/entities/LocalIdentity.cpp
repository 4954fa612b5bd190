#include "core/model/entities/LocalIdentity.h"

#include <cstdint>
#include <fstream>

namespace corvaline {

namespace {

// FNV-1a: small, stable across builds and platforms, and spreads similar inputs well.
std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

std::optional<std::string> userIdForMachine(std::string_view machineId, unsigned uid) {
    if (machineId.empty()) {
        return std::nullopt;
    }
    const std::string seed = std::string(machineId) + ":" + std::to_string(uid);
    const std::uint64_t nineDigits = 100000000 + fnv1a(seed) % 900000000;
    return "A" + std::to_string(nineDigits);
}

std::optional<std::string> readMachineId(const std::vector<std::filesystem::path>& files) {
    for (const auto& file : files) {
        std::ifstream in(file);
        std::string line;
        if (in && std::getline(in, line)) {
            const auto first = line.find_first_not_of(" \t\r");
            const auto last = line.find_last_not_of(" \t\r");
            if (first != std::string::npos) {
                return line.substr(first, last - first + 1);
            }
        }
    }
    return std::nullopt;
}

}  // namespace corvaline
