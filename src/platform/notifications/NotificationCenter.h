#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/observers/ObservationToken.h"

namespace corvaline {

class Executor;

// What an observer receives. `object` only identifies the sender (compare it, never cast it
// from an unknown source); it may be null.
struct Notification {
    std::string_view name;
    const void* object;
};

// Named notifications delivered to observers on the main thread, synchronously from `post`.
// Main thread only, except postFromAnyThread.
class NotificationCenter {
  public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Observes `name` from `object` only, or from any sender when `object` is null.
    ObservationToken addObserver(std::string_view name, const void* object, Callback callback);

    // Calls the matching observers before returning.
    void post(std::string_view name, const void* object = nullptr);
    // Any thread: the notification is posted later on `mainQueue`. The centre may be gone by
    // then; the notification is dropped in that case.
    void postFromAnyThread(Executor& mainQueue, std::string name, const void* object = nullptr);

  private:
    class Observers;
    std::shared_ptr<Observers> observers_;
};

}  // namespace corvaline
