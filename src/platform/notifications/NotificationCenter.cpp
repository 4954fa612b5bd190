#include "platform/notifications/NotificationCenter.h"

#include "platform/observers/ObserverList.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

class NotificationCenter::Observers : public ObserverMap<const Notification&> {};

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::NotificationCenter() : observers_(std::make_shared<Observers>()) {}

NotificationCenter::~NotificationCenter() = default;

ObservationToken NotificationCenter::addObserver(std::string_view name, const void* object,
                                                 Callback callback) {
    if (object == nullptr)
        return observers_->add(name, std::move(callback));
    return observers_->add(name, [object, callback = std::move(callback)](const Notification& n) {
        if (n.object == object)
            callback(n);
    });
}

void NotificationCenter::post(std::string_view name, const void* object) {
    // Held for the delivery: an observer may destroy the centre.
    auto observers = observers_;
    observers->notify(name, Notification{name, object});
}

void NotificationCenter::postFromAnyThread(Executor& mainQueue, std::string name,
                                           const void* object) {
    mainQueue.post([weak = std::weak_ptr<Observers>(observers_), name = std::move(name), object] {
        if (auto observers = weak.lock())
            observers->notify(name, Notification{name, object});
    });
}

}  // namespace corvaline
