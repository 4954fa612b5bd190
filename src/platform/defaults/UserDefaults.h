#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/observers/ObservationToken.h"
#include "platform/observers/ObserverList.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

// The settings database: registered defaults live in memory only, values the user stored
// live in a JSON file and win over them. The file is replaced atomically: at once after each
// change, or once per burst of changes when the writes are coalesced on the main queue.
// A getter reading a value of another type answers 0, false or empty. Main thread only.
class UserDefaults {
  public:
    // Replaces the file with the contents (writeFileAtomically unless a test counts writes).
    using Writer =
        std::function<std::error_code(const std::filesystem::path&, std::string_view contents)>;

    // The program's own database, $XDG_CONFIG_HOME/com.tarvelo.Corvaline/defaults.json.
    static UserDefaults& standard();

    // Loads `file`; a file that cannot be read as a JSON object is moved aside (see
    // damagedFileMovedTo) and the database starts empty.
    explicit UserDefaults(std::filesystem::path file, Writer writer = {});
    // Writes what is still pending.
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // From now on a change is written by one block posted to `queue` (the main queue), which
    // writes every change made until it runs: a window dragged across the screen costs one
    // write, not one per step. What is pending is written first; an empty or expired queue
    // writes each change at once again (at shut-down, before the queue stops running blocks).
    void coalesceWritesOn(std::weak_ptr<Executor> queue);
    // Writes a pending change now.
    void synchronize();

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
    // written, so the damaged file is never replaced); empty after a good write. A coalesced
    // change is reported once its write has run.
    std::error_code lastWriteError() const { return writeError_; }

  private:
    const nlohmann::json* find(std::string_view key) const;
    void store(std::string_view key, std::optional<nlohmann::json> value);
    void load();
    void moveAside();
    void changed();
    void save();

    std::filesystem::path file_;
    Writer writer_;
    std::weak_ptr<Executor> writeQueue_;
    bool writePending_ = false;
    // Lets a posted write find out that this database is gone.
    std::shared_ptr<UserDefaults*> self_ = std::make_shared<UserDefaults*>(this);
    nlohmann::json registered_ = nlohmann::json::object();
    nlohmann::json stored_ = nlohmann::json::object();
    std::optional<std::filesystem::path> damagedMovedTo_;
    std::error_code writeError_;
    bool writable_ = true;
    ObserverMap<> observers_;
};

}  // namespace corvaline
