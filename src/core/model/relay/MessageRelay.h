#pragma once

#include "core/model/services/RelayService.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

// The offline-message relay of a running program: copies of messages for offline recipients
// kept here and handed to every other online user ("TSOM", "TSOMM"), and the delivery timer
// that sends every held copy whose recipient is online. Owned by the core application and
// reached as CoreServices::shared().relay. Main thread only (the thread of `main`).
class MessageRelay : public RelayService {
  public:
    // Arms the repeating delivery timer on `main`, which must outlive the relay.
    explicit MessageRelay(Executor& main);
    ~MessageRelay() override;
    MessageRelay(const MessageRelay&) = delete;
    MessageRelay& operator=(const MessageRelay&) = delete;

    void sendOnUserIn(User& user) override;
    // For each offline recipient a local record and one packet to each relay, all under one
    // id: the message's own when it has one recipient, else an id of that recipient's copy
    // (a relay keeps only the first packet of an id). The caller saves.
    void SendOfflineMessageIfNeeded(Message& message) override;

  private:
    TimerHandle timer_;
};

}  // namespace corvaline
