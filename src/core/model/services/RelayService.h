#pragma once

namespace corvaline {

class Message;
class User;

// The offline-message relay as users and the message service reach it. Main thread.
class RelayService {
  public:
    virtual ~RelayService() = default;
    // Delivers, after a short random delay, what the relay store holds for the user.
    virtual void sendOnUserIn(User& user) = 0;
    // Stores and hands out copies of a sent message for its recipients that are offline.
    virtual void SendOfflineMessageIfNeeded(Message& message) = 0;
};

}  // namespace corvaline
