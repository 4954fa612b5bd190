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
    // One local record for all offline recipients under the message's id, and for each
    // offline recipient one packet to each relay: under the message's id when it has one
    // recipient, else under a fresh id per recipient (a relay keeps only the first packet of
    // an id). The caller saves.
    void SendOfflineMessageIfNeeded(Message& message) override;

  private:
    TimerHandle timer_;
};

}  // namespace corvaline
