#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/observers/ObservationToken.h"
#include "platform/observers/ObserverList.h"

namespace corvaline {

// The settings database: registered defaults live in memory only, values the user stored
// live in a JSON file and win over them. Every change is written at once (atomically).
// A getter reading a value of another type answers 0, false or empty. Main thread only.
class UserDefaults {
  public:
    // The program's own database, $XDG_CONFIG_HOME/com.tarvelo.Corvaline/defaults.json.
    static UserDefaults& standard();

    // Loads `file`; a file that cannot be read as a JSON object is moved aside (see
    // damagedFileMovedTo) and the database starts empty.
    explicit UserDefaults(std::filesystem::path file);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // Merges `defaults` (a JSON object) into the registered defaults.
    void registerDefaults(const nlohmann::json& defaults);

    bool boolForKey(std::string_view key) const;
    long long integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    std::string stringForKey(std::string_view key) const;
    std::optional<nlohmann::json> arrayForKey(std::string_view key) const;
    // Any value, stored or registered.
    std::optional<nlohmann::json> objectForKey(std::string_view key) const;

    void setBool(std::string_view key, bool value);
    void setInteger(std::string_view key, long long value);
    void setDouble(std::string_view key, double value);  // ignores NaN and infinities
    void setString(std::string_view key, std::string_view value);
    void setObject(std::string_view key, nlohmann::json value);
    // Drops the stored value; the registered one applies again.
    void removeObject(std::string_view key);

    // Called after each change of the value the getters answer for `key`.
    ObservationToken observe(std::string_view key, std::function<void()> callback);

    const std::filesystem::path& file() const { return file_; }
    // Where a damaged file was moved at load, if it was.
    const std::optional<std::filesystem::path>& damagedFileMovedTo() const {
        return damagedMovedTo_;
    }
    // The failure of the last write, or of moving a damaged file aside (then nothing is
    // written, so the damaged file is never replaced); empty after a good write.
    std::error_code lastWriteError() const { return writeError_; }

  private:
    const nlohmann::json* find(std::string_view key) const;
    void store(std::string_view key, std::optional<nlohmann::json> value);
    void load();
    void moveAside();
    void save();

    std::filesystem::path file_;
    nlohmann::json registered_ = nlohmann::json::object();
    nlohmann::json stored_ = nlohmann::json::object();
    std::optional<std::filesystem::path> damagedMovedTo_;
    std::error_code writeError_;
    bool writable_ = true;
    ObserverMap<> observers_;
};

}  // namespace corvaline
