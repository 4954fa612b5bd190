#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/observers/ObservationToken.h"

namespace corvaline {

// Callbacks registered per key. Delivery works on a snapshot, so a callback may add or
// remove observers (itself included) or even destroy the map; an observer added during a
// delivery is first called by the next one, one removed during it is not called again.
// Main thread only.
template <class... Args>
class ObserverMap {
  public:
    using Callback = std::function<void(Args...)>;

    ObserverMap() = default;
    ObserverMap(const ObserverMap&) = delete;
    ObserverMap& operator=(const ObserverMap&) = delete;

    ObservationToken add(std::string_view key, Callback callback) {
        auto found = lists_.find(key);
        if (found == lists_.end()) {
            found = lists_.emplace(std::string(key), std::make_shared<Entries>()).first;
        }
        auto entry = std::make_shared<Entry>(Entry{std::move(callback), false});
        found->second->push_back(entry);
        return ObservationToken([weakList = std::weak_ptr<Entries>(found->second),
                                 weakEntry = std::weak_ptr<Entry>(entry)] {
            auto entry = weakEntry.lock();
            if (!entry)
                return;
            entry->removed = true;
            if (auto list = weakList.lock())
                std::erase(*list, entry);
        });
    }

    // Arguments are passed on as lvalues, so observers may take them by (non-const) reference.
    template <class... A>
    void notify(std::string_view key, A&&... args) const {
        auto found = lists_.find(key);
        if (found == lists_.end())
            return;
        // Nothing below may touch `this`: a callback may destroy the map.
        const Entries snapshot = *found->second;
        for (const auto& entry : snapshot) {
            if (!entry->removed)
                entry->callback(args...);
        }
    }

  private:
    struct Entry {
        Callback callback;
        bool removed;
    };
    using Entries = std::vector<std::shared_ptr<Entry>>;

    std::map<std::string, std::shared_ptr<Entries>, std::less<>> lists_;
};

}  // namespace corvaline
