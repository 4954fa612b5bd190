#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/model/entities/User.h"
#include "platform/observers/ObservationToken.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

class ObjectContext;

// The person at this computer: the one record of the entity Me. Announces its status and
// name changes and goes away by itself when idle or when the screen saver runs.
// Main thread only.
class Me : public User {
  public:
    static constexpr std::string_view kEntityName = "Me";
    using User::User;
    ~Me() override;

    // The stored record, refreshed, or a new one; saved either way.
    static std::shared_ptr<Me> getMe(ObjectContext& context);
    // "A" and nine digits from this machine and account (random when that cannot be known).
    static std::string defaultUserId();
    // The account's full name, else its name, cleaned for use as a user name.
    static std::string defaultName();

    // Sets the values this computer knows and starts watching the idle rules.
    void fillUserInfo();
    void setUserId(std::string userId) override;
    void setName(std::string name) override;
    void setStatus(const std::string& code) override;
    // Announces "UO"; the status stays.
    void goOffline();
    // Broadcasts one presence notice ("SS", "UC", "UO"); without an old name both names
    // go out as "*".
    void sendUDPnotification(std::string_view type, const std::optional<std::string>& oldName,
                             const std::optional<std::string>& newName);

    bool inIdleAway() const { return flag("inIdleAway"); }
    std::string statusBeforeIdle() const { return text("statusBeforeIdle"); }
    bool autoAwayEnabled() const { return autoAwayEnabled_; }
    void setAutoAwayEnabled(bool enabled);
    // The idle time in milliseconds as text once it exceeds "autoAwayMinutes", else none.
    std::optional<std::string> idleTime();
    // One check of the idle rules (every second while auto-away is on).
    void idleCheckTimer();
    // The screensaver started (true) or stopped.
    void screensaverDid(bool started);

  private:
    TimerHandle idleTimer_;
    ObservationToken autoAwayBinding_;
    bool autoAwayEnabled_ = false;
    bool inScreensaverAway_ = false;
};

}  // namespace corvaline
