#pragma once

#include <functional>
#include <string_view>

#include "platform/observers/ObservationToken.h"
#include "platform/observers/ObserverList.h"

namespace corvaline {

// Base of model objects whose attributes windows observe: setters call didChange(key), and
// every observer of that key of this object is called at once. A copy starts with no
// observers (observers watch one object, not its value). Main thread only.
class Observable {
  public:
    Observable() = default;
    Observable(const Observable&) {}
    Observable& operator=(const Observable&) { return *this; }

    ObservationToken observe(std::string_view key, std::function<void()> callback) {
        return observers_.add(key, std::move(callback));
    }

  protected:
    ~Observable() = default;

    void didChange(std::string_view key) const { observers_.notify(key); }

  private:
    ObserverMap<> observers_;
};

}  // namespace corvaline
