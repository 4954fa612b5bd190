#pragma once

#include <QAbstractItemModel>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/observers/ObservationToken.h"
#include "platform/runloop/Executor.h"

namespace corvaline {
class Group;
class ObjectContext;
class TreeItem;
class User;
}  // namespace corvaline

namespace corvaline::ui {

// The main list as a two-level tree: groups (by name, case-insensitive), each with its users
// (online first, then by name, case-insensitive). A user is shown while it is listed in its
// group, and, while "hideOfflineUsers" is on, online; a selection list (with an exclusion set)
// shows only online users outside the set. The tree follows the model's change events row
// by row; name and online changes re-sort the user's group once, 0.02 s after the last of a
// burst (a user going online or offline also moves to its place at once). Main thread (the
// main queue's).
class RosterModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    // Starts a file transfer to an online user; false when nothing was sent.
    using SendFiles = std::function<bool(const std::vector<std::string>& paths, User& to)>;

    // The internal drag type: the dragged rows stay in the model.
    static constexpr const char* kTreeItemType = "application/x-corvaline-treeitem";

    RosterModel(ObjectContext& context, Executor& main, QObject* parent = nullptr);
    ~RosterModel() override;

    // A selection list: only online users outside `excluded`.
    void setExcludedUsers(std::set<const User*> excluded);
    // Users never shown, online or not (the mass-message list leaves out the local user).
    void setHiddenUsers(std::set<const User*> hidden);
    void setSendFiles(SendFiles sendFiles) { sendFiles_ = std::move(sendFiles); }

    TreeItem* itemAt(const QModelIndex& index) const;
    QModelIndex indexOf(const TreeItem* item) const;
    // The users a group shows, in list order.
    std::vector<User*> shownUsers(const Group& group) const;
    std::vector<Group*> groups() const;

    // Moves the users to the group (the store is saved); the rows follow.
    void moveUsers(const std::vector<User*>& users, Group& group);
    // How often a group was re-sorted after name or online changes, and the last one.
    int resortCount() const { return resorts_; }
    Group* lastResortedGroup() const { return lastResorted_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // A group's name, edited in place (an emptied name keeps the old one).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    // The drag rules: nothing onto empty space or between rows; files only onto an online
    // user; groups never move; users dropped onto a user go to that user's group.
    Qt::DropAction validateDrop(const QMimeData* data, int row, const QModelIndex& parent) const;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    // The end of a drag started here (dropped or not).
    void dragEnded() { dragged_.clear(); }

  private:
    struct Branch {
        Group* group;
        std::vector<User*> users;
    };

    void rebuild();
    void observe();
    bool shows(const User& user) const;
    std::vector<User*> sortedUsers(const Group& group) const;
    int groupRow(const Group* group) const;
    int insertionRow(const Branch& branch, const User& user) const;
    // The group's row and the user's row in it, when the user is shown there.
    std::optional<std::pair<int, int>> userRow(const User& user, const Group& group) const;
    void insertUser(User& user, Group& group);
    void removeUser(User& user, Group& group);
    // Moves the user's row to its place in the order.
    void placeUser(User& user, Group& group);
    void insertGroup(Group& group);
    void regroupRow(Group& group);
    void haveToResortGroup(User& user);
    void delayedGroupResort(Group* group);
    void hideOfflineUsersChanged();

    ObjectContext& context_;
    Executor& main_;
    std::vector<Branch> branches_;
    std::optional<std::set<const User*>> excluded_;
    std::set<const User*> hidden_;
    bool hideOffline_ = false;
    SendFiles sendFiles_;
    std::vector<ObservationToken> observations_;
    TimerHandle resortTimer_;
    int resorts_ = 0;
    Group* lastResorted_ = nullptr;
    mutable std::vector<TreeItem*> dragged_;
};

}  // namespace corvaline::ui
