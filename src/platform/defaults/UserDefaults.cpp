#include "platform/defaults/UserDefaults.h"

#include <climits>
#include <cmath>
#include <ctime>

#include "platform/defaults/AtomicFile.h"
#include "platform/paths/Folders.h"
#include "platform/paths/TextFile.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

namespace {

long long clampedInteger(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775808.0)
        return LLONG_MAX;
    if (value <= -9223372036854775808.0)
        return LLONG_MIN;
    return static_cast<long long>(value);
}

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(configFolder() / kBundleIdentifier / "defaults.json");
    return defaults;
}

UserDefaults::UserDefaults(std::filesystem::path file, Writer writer)
    : file_(std::move(file)), writer_(writer ? std::move(writer) : Writer(writeFileAtomically)) {
    load();
}

UserDefaults::~UserDefaults() {
    synchronize();
}

void UserDefaults::coalesceWritesOn(std::weak_ptr<Executor> queue) {
    synchronize();  // a write posted to the queue before may never run
    writeQueue_ = std::move(queue);
}

void UserDefaults::synchronize() {
    if (std::exchange(writePending_, false)) {
        save();
    }
}

void UserDefaults::changed() {
    const auto queue = writeQueue_.lock();
    if (!queue) {
        save();
        return;
    }
    if (std::exchange(writePending_, true)) {
        return;  // the write already posted takes this change too
    }
    queue->post([weak = std::weak_ptr<UserDefaults*>(self_)] {
        if (const auto self = weak.lock()) {
            (*self)->synchronize();
        }
    });
}

void UserDefaults::load() {
    std::error_code error;
    if (!std::filesystem::exists(file_, error))
        return;
    if (auto text = readWholeFile(file_)) {
        auto parsed = nlohmann::json::parse(*text, nullptr, false);
        if (!parsed.is_discarded() && parsed.is_object()) {
            stored_ = std::move(parsed);
            return;
        }
    }
    moveAside();
}

void UserDefaults::moveAside() {
    const std::string base = file_.string() + ".damaged-" + timestamp();
    std::filesystem::path target = base;
    std::error_code error;
    for (int n = 1; std::filesystem::exists(target, error); ++n) {
        target = base + "-" + std::to_string(n);
    }
    std::filesystem::rename(file_, target, error);
    if (error) {
        writable_ = false;
        writeError_ = error;
        DebugTracer::addLogItem("User defaults file " + file_.string() +
                                    " is damaged and could not be moved aside: " + error.message(),
                                0);
        return;
    }
    damagedMovedTo_ = target;
    DebugTracer::addLogItem(
        "User defaults file " + file_.string() + " was damaged and moved to " + target.string(), 0);
}

void UserDefaults::save() {
    if (!writable_)
        return;
    std::error_code error;
    if (file_.has_parent_path())
        std::filesystem::create_directories(file_.parent_path(), error);
    if (!error) {
        // Invalid UTF-8 in a stored text must not stop the write.
        error = writer_(
            file_, stored_.dump(4, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    }
    writeError_ = error;
    if (error) {
        DebugTracer::addLogItem(
            "Could not write user defaults file " + file_.string() + ": " + error.message(), 0);
    }
}

const nlohmann::json* UserDefaults::find(std::string_view key) const {
    for (const nlohmann::json* values : {&stored_, &registered_}) {
        if (auto found = values->find(key); found != values->end())
            return &*found;
    }
    return nullptr;
}

void UserDefaults::store(std::string_view key, std::optional<nlohmann::json> value) {
    const auto before = objectForKey(key);
    auto found = stored_.find(key);
    if (!value) {
        if (found == stored_.end())
            return;
        stored_.erase(found);
    } else if (found == stored_.end()) {
        stored_.emplace(std::string(key), std::move(*value));
    } else if (*found == *value) {
        return;
    } else {
        *found = std::move(*value);
    }
    changed();
    if (objectForKey(key) != before)
        observers_.notify(key);
}

void UserDefaults::registerDefaults(const nlohmann::json& defaults) {
    if (!defaults.is_object())
        return;
    for (const auto& [key, value] : defaults.items()) {
        const auto before = objectForKey(key);
        registered_[key] = value;
        if (objectForKey(key) != before)
            observers_.notify(key);
    }
}

bool UserDefaults::boolForKey(std::string_view key) const {
    const nlohmann::json* value = find(key);
    if (value == nullptr)
        return false;
    if (value->is_boolean())
        return value->get<bool>();
    if (value->is_number_float())
        return value->get<double>() != 0.0;
    if (value->is_number())
        return value->get<long long>() != 0;
    return false;
}

long long UserDefaults::integerForKey(std::string_view key) const {
    const nlohmann::json* value = find(key);
    if (value == nullptr)
        return 0;
    if (value->is_boolean())
        return value->get<bool>() ? 1 : 0;
    if (value->is_number_unsigned()) {
        const auto number = value->get<unsigned long long>();
        return number > LLONG_MAX ? LLONG_MAX : static_cast<long long>(number);
    }
    if (value->is_number_integer())
        return value->get<long long>();
    if (value->is_number_float())
        return clampedInteger(value->get<double>());
    return 0;
}

double UserDefaults::doubleForKey(std::string_view key) const {
    const nlohmann::json* value = find(key);
    if (value == nullptr)
        return 0.0;
    if (value->is_boolean())
        return value->get<bool>() ? 1.0 : 0.0;
    if (value->is_number())
        return value->get<double>();
    return 0.0;
}

std::string UserDefaults::stringForKey(std::string_view key) const {
    const nlohmann::json* value = find(key);
    return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

std::optional<nlohmann::json> UserDefaults::arrayForKey(std::string_view key) const {
    const nlohmann::json* value = find(key);
    if (value == nullptr || !value->is_array())
        return std::nullopt;
    return *value;
}

std::optional<nlohmann::json> UserDefaults::objectForKey(std::string_view key) const {
    const nlohmann::json* value = find(key);
    if (value == nullptr)
        return std::nullopt;
    return *value;
}

void UserDefaults::setBool(std::string_view key, bool value) {
    store(key, nlohmann::json(value));
}

void UserDefaults::setInteger(std::string_view key, long long value) {
    store(key, nlohmann::json(value));
}

void UserDefaults::setDouble(std::string_view key, double value) {
    if (!std::isfinite(value))
        return;  // JSON has no form for it
    store(key, nlohmann::json(value));
}

void UserDefaults::setString(std::string_view key, std::string_view value) {
    store(key, nlohmann::json(value));
}

void UserDefaults::setObject(std::string_view key, nlohmann::json value) {
    store(key, std::move(value));
}

void UserDefaults::removeObject(std::string_view key) {
    store(key, std::nullopt);
}

ObservationToken UserDefaults::observe(std::string_view key, std::function<void()> callback) {
    return observers_.add(key, std::move(callback));
}

}  // namespace corvaline
