#pragma once

#include <functional>

#include "core/model/store/Value.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

class MessageService;
class PresenceService;
class RelayService;
class UserActivity;
class UserInterface;
class UserList;

// The process-wide references through which the model reaches its neighbours, set during
// start-up (tests install fakes and remove them). The owners keep the objects; a reference
// that is empty means that part does not exist (yet) and calls into it are skipped.
// Main thread only.
struct CoreServices {
    static CoreServices& shared();

    Executor* mainQueue = nullptr;
    UserList* userList = nullptr;         // SharedUserList
    PresenceService* presence = nullptr;  // SharedUDPserver
    MessageService* messages = nullptr;   // SharedTCPserver
    RelayService* relay = nullptr;
    UserInterface* windows = nullptr;
    UserActivity* activity = nullptr;
    // The wall clock of the model; the system clock when empty.
    std::function<Date()> clock;

    Date now() const;
};

// Debug builds stop at a call off the main queue's thread, once there is a main queue: the
// store's entry points call it.
inline void assertOnMainQueue() {
#ifndef NDEBUG
    if (const Executor* main = CoreServices::shared().mainQueue) {
        assertCurrent(*main);
    }
#endif
}

}  // namespace corvaline
