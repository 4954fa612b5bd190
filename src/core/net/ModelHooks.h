#pragma once

#include "core/net/MessageHooks.h"

namespace corvaline {

// The parts of the model that own messages, group chats and the relay store, as the message
// service reaches them: what CoreApplication hands every TCPserver it makes. Main thread only.
MessageHooks modelHooks();

}  // namespace corvaline
