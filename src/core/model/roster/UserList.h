#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/codec/Packet.h"

namespace corvaline {

class Group;
class Me;
class ObjectContext;
class User;

// The roster controller: the local user, users found or made by id, the standard roster
// queries, and every received presence packet applied to the roster. Reached process-wide
// as CoreServices::shared().userList. Main thread only.
class UserList {
  public:
    // Without a context (no store) every query is empty.
    explicit UserList(ObjectContext* context);

    // me = the stored local user, refreshed, or a new one.
    void updateMe();
    const std::shared_ptr<Me>& me() const { return me_; }
    bool someUsersExceptMeEverSeen() const { return someUsersExceptMeEverSeen_; }
    void setSomeUsersExceptMeEverSeen(bool seen) { someUsersExceptMeEverSeen_ = seen; }

    // A new group named "New Group" (not saved).
    std::shared_ptr<Group> AddNewGroup();
    // The user with that id; with an address a user not yet known is made (offline, asked
    // for its user information). A stored old local-user record is replaced by a plain user.
    std::shared_ptr<User> getUserById(std::string_view userId,
                                      const std::optional<std::string>& ip);
    // Users not removed, leaving out the offline ones and the local user as asked; both
    // false gives every record.
    std::vector<std::shared_ptr<User>> allUsersWithoutOffline(bool withoutOffline,
                                                              bool andMe) const;
    // allUsersWithoutOffline(true, true).size(), counted without copying the list.
    std::size_t onlineUsersCount() const;
    // The local user announces "UO" and every other online user becomes offline.
    void goOffline();
    // A decoded presence packet with the sender's address appended: the sender, or none when
    // the packet is not applied.
    std::shared_ptr<User> UpdateUserDataWithUDP(const Packet& packet);
    // A second copy runs under this identity: stop the services and show why.
    void stopEverything();
    void startEverything();
    void signInButtonClicked() { startEverything(); }

  private:
    std::shared_ptr<User> replaceLocalRecord(User& old);

    ObjectContext* context_;
    std::shared_ptr<Me> me_;
    bool someUsersExceptMeEverSeen_ = false;
};

}  // namespace corvaline
