#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/observers/ObservationToken.h"
#include "platform/runloop/Executor.h"

namespace corvaline {
class Group;
class ManagedObject;
class ObjectContext;
class TreeItem;
class User;
}  // namespace corvaline

namespace corvaline::ui {

// The main list as a two-level tree: groups (by name, case-insensitive), each with its users
// (online first, then by name, case-insensitive). A user is shown while it is listed in its
// group, and, while "hideOfflineUsers" is on, online; a selection list (with an exclusion set)
// shows only online users outside the set. The tree follows the model's change events in
// batches: what one turn of the main queue changed is applied at once in the next, each
// changed user inserted or moved to its place with row signals of its own (never a reset),
// every group it touched in order again. A user leaving the list, and the model's own moves,
// show at once. Main thread (the main queue's).
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

    // Moves the users to the group (the store is saved); the rows follow at once.
    void moveUsers(const std::vector<User*>& users, Group& group);

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

    // Applies the changes gathered since the last batch now (the main queue does it on its
    // next turn anyway).
    void applyChanges();

  signals:
    // A batch of changes is in the rows (inserted, moved, data changed).
    void changesApplied();

  private:
    // What a user's row is ordered by: online first, then the name (case-insensitive), then
    // the id.
    struct SortKey {
        bool offline;
        QString name;
        std::string userId;
        const User* user;  // two records may share id and name
        bool operator==(const SortKey&) const = default;
    };
    struct Branch {
        Group* group;
        std::vector<User*> users;  // in the order of their keys in `placed_`
    };
    // Where a shown user's row is, and the key it was placed by.
    struct Placement {
        Group* group;
        SortKey key;
    };

    static SortKey keyOf(const User& user);
    static bool keyBefore(const SortKey& a, const SortKey& b);
    void rebuild();
    void observe();
    bool shows(const User& user) const;
    int groupRow(const Group* group) const;
    // The users' rows, appended to the branch in order.
    void fillBranch(Branch& branch);
    // The first row whose key is not before `key`.
    int lowerRow(const Branch& branch, const SortKey& key) const;
    // The user's row in its branch, with that branch's row; -1 when not shown.
    std::pair<int, int> rowOf(const User* user) const;
    void userChanged(User& user);
    void removeRow(const User* user);
    // Moves a shown user's row to the place of its new key.
    void moveRow(const User* user, SortKey key);
    // New rows in the group for the users, runs of neighbours under one signal.
    void insertUserRows(Group& group, std::vector<User*> users);
    void insertGroup(Group& group);
    void regroupRow(Group& group);
    void hideOfflineUsersChanged();
    const QIcon& icon(const std::string& name) const;

    ObjectContext& context_;
    Executor& main_;
    std::vector<Branch> branches_;
    std::unordered_map<const User*, Placement> placed_;
    // Users changed since the last batch; held weakly, as a user may be deleted before it.
    std::unordered_map<const User*, std::weak_ptr<ManagedObject>> changed_;
    bool batchPosted_ = false;
    const std::shared_ptr<RosterModel*> alive_ = std::make_shared<RosterModel*>(this);
    std::optional<std::set<const User*>> excluded_;
    std::set<const User*> hidden_;
    bool hideOffline_ = false;
    SendFiles sendFiles_;
    std::vector<ObservationToken> observations_;
    mutable std::map<std::string, QIcon> icons_;
    mutable std::vector<TreeItem*> dragged_;
};

}  // namespace corvaline::ui
