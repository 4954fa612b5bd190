#pragma once

// A long one-to-one history for the window benchmarks: `entries` messages a second apart, a
// year ago, alternately incoming and outgoing, saved in batches. Main thread.

#include <chrono>
#include <cstddef>
#include <string>

#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"

namespace corvaline::bench {

inline void fillHistory(ObjectContext& context, User& user, std::size_t entries) {
    constexpr std::size_t kBatch = 50000;
    const Date start = std::chrono::system_clock::now() - std::chrono::hours(24 * 365);
    for (std::size_t i = 0; i < entries; ++i) {
        auto message = context.insert<Message>();
        message->setMessage("message number " + std::to_string(i));
        message->setMessageId(static_cast<std::int64_t>(i) + 1);
        message->setIncoming(i % 2 == 0);
        message->setTimeReceived(start + std::chrono::seconds(i));
        message->setTime(start + std::chrono::seconds(i));
        message->addUserObject(user);
        if ((i + 1) % kBatch == 0) {
            context.save();
        }
    }
    context.save();
}

}  // namespace corvaline::bench
