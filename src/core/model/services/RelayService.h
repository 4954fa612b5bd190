#pragma once

namespace corvaline {

class User;

// The offline-message relay as a user coming online reaches it. Main thread.
class RelayService {
  public:
    virtual ~RelayService() = default;
    // Delivers, after a short random delay, what the relay store holds for the user.
    virtual void sendOnUserIn(User& user) = 0;
};

}  // namespace corvaline
