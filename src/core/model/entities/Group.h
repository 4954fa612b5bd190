#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/entities/TreeItem.h"

namespace corvaline {

class ObjectContext;
class User;

// A group of the main list, holding users. Main thread only.
class Group : public TreeItem {
  public:
    static constexpr std::string_view kEntityName = "Group";
    using TreeItem::TreeItem;

    // The group named "General", made when there is none (the main list then reloads and
    // expands it, on a later turn of the main queue).
    static std::shared_ptr<Group> general(ObjectContext& context);
    // A new group of that name, announced to the main list.
    static std::shared_ptr<Group> insertNamed(ObjectContext& context, std::string name);

    void awakeFromInsert() override { prepare(); }
    void awakeFromFetch() override {
        prepare();
        announced_ = true;
    }

    void setName(std::string name) { setValue("name", std::move(name)); }
    bool expanded() const { return flag("expanded"); }
    void setExpanded(bool expanded) { setValue("expanded", expanded); }
    std::vector<User*> users() const;

    // The users of the group that are online, gathered anew at every call.
    const std::vector<User*>& onlineUsers();
    // Both add the user to, or remove it from, `users`.
    void addOnlineUsersObject(User& user);
    void removeOnlineUsersObject(User& user);
    // Groups sort like online users.
    bool userOffline() const { return false; }

  protected:
    void valueDidChange(std::string_view key) override;
    void didDelete() override;

  private:
    void prepare();

    std::vector<User*> onlineUsers_;
    bool announced_ = false;  // the main list was told of the group
};

}  // namespace corvaline
