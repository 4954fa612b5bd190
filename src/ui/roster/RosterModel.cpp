#include "ui/roster/RosterModel.h"

#include <QColor>
#include <QFont>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "core/format/GroupAndUserNameFormatter.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/icons/StatusIcons.h"

namespace corvaline::ui {
namespace {

using namespace std::chrono_literals;

// How long name and online changes are gathered before the group is re-sorted.
constexpr Duration kResortDelay = 0.02s;

int compareNames(const TreeItem& a, const TreeItem& b) {
    return QString::fromStdString(a.name()).compare(QString::fromStdString(b.name()),
                                                    Qt::CaseInsensitive);
}

bool groupBefore(const Group* a, const Group* b) {
    const int order = compareNames(*a, *b);
    return order != 0 ? order < 0 : a->objectId() < b->objectId();
}

bool userBefore(const User* a, const User* b) {
    if (a->userOffline() != b->userOffline()) {
        return !a->userOffline();
    }
    const int order = compareNames(*a, *b);
    return order != 0 ? order < 0 : a->userId() < b->userId();
}

bool isListed(const User& user) {
    return user.group() && !user.removed() && !user.isDeleted();
}

}  // namespace

RosterModel::RosterModel(ObjectContext& context, Executor& main, QObject* parent)
    : QAbstractItemModel(parent), context_(context), main_(main) {
    hideOffline_ = UserDefaults::standard().boolForKey("hideOfflineUsers");
    rebuild();
    observe();
}

RosterModel::~RosterModel() {
    resortTimer_.cancel();
}

void RosterModel::setExcludedUsers(std::set<const User*> excluded) {
    beginResetModel();
    excluded_ = std::move(excluded);
    rebuild();
    endResetModel();
}

void RosterModel::setHiddenUsers(std::set<const User*> hidden) {
    beginResetModel();
    hidden_ = std::move(hidden);
    rebuild();
    endResetModel();
}

bool RosterModel::shows(const User& user) const {
    if (!isListed(user) || hidden_.contains(&user)) {
        return false;
    }
    if ((hideOffline_ || excluded_) && user.userOffline()) {
        return false;
    }
    return !excluded_ || !excluded_->contains(&user);
}

std::vector<User*> RosterModel::sortedUsers(const Group& group) const {
    std::vector<User*> users;
    for (auto* user : group.users()) {
        if (shows(*user)) {
            users.push_back(user);
        }
    }
    std::sort(users.begin(), users.end(), userBefore);
    return users;
}

void RosterModel::rebuild() {
    branches_.clear();
    std::vector<Group*> groups;
    for (const auto& group : context_.fetch<Group>()) {
        groups.push_back(group.get());
    }
    std::sort(groups.begin(), groups.end(), groupBefore);
    for (auto* group : groups) {
        branches_.push_back({group, sortedUsers(*group)});
    }
}

void RosterModel::observe() {
    auto& events = ModelEvents::shared();
    observations_.push_back(
        events.observeUserInserted([this](User& user, Group& group) { insertUser(user, group); }));
    observations_.push_back(
        events.observeUserRemoved([this](User& user, Group& group) { removeUser(user, group); }));
    observations_.push_back(events.observeUserMoved([this](User& user, Group& from, Group& to) {
        removeUser(user, from);
        insertUser(user, to);
    }));
    observations_.push_back(events.observeUserChanged([this](User& user, std::string_view key) {
        Group* group = user.group();
        if (!group) {
            return;
        }
        const QModelIndex row = indexOf(&user);
        if (key == "userOffline" && shows(user) != row.isValid()) {
            if (row.isValid()) {
                removeUser(user, *group);
            } else {
                insertUser(user, *group);
            }
        } else if (row.isValid()) {
            emit dataChanged(row, row);
            if (key == "userOffline") {
                // Users of many groups come online in one burst (a start, a network back):
                // each row goes to its place at once, the debounced re-sort only follows.
                placeUser(user, *group);
            }
        }
        if (key == "name" || key == "userOffline") {
            haveToResortGroup(user);
        }
    }));
    observations_.push_back(
        events.observeGroupInserted([this](Group& group) { insertGroup(group); }));
    observations_.push_back(
        events.observeGroupRenamed([this](Group& group) { regroupRow(group); }));
    observations_.push_back(events.observeGroupRemoved([this](Group& group) {
        const int row = groupRow(&group);
        if (row < 0) {
            return;
        }
        beginRemoveRows({}, row, row);
        branches_.erase(branches_.begin() + row);
        endRemoveRows();
        if (lastResorted_ == &group) {
            lastResorted_ = nullptr;
        }
    }));
    observations_.push_back(UserDefaults::standard().observe(
        "hideOfflineUsers", [this] { hideOfflineUsersChanged(); }));
}

int RosterModel::groupRow(const Group* group) const {
    for (std::size_t row = 0; row < branches_.size(); ++row) {
        if (branches_[row].group == group) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

int RosterModel::insertionRow(const Branch& branch, const User& user) const {
    const auto at = std::lower_bound(branch.users.begin(), branch.users.end(), &user, userBefore);
    return static_cast<int>(at - branch.users.begin());
}

void RosterModel::insertUser(User& user, Group& group) {
    const int parentRow = groupRow(&group);
    if (parentRow < 0 || !shows(user)) {
        return;
    }
    auto& branch = branches_[parentRow];
    if (std::find(branch.users.begin(), branch.users.end(), &user) != branch.users.end()) {
        return;
    }
    const int row = insertionRow(branch, user);
    beginInsertRows(index(parentRow, 0), row, row);
    branch.users.insert(branch.users.begin() + row, &user);
    endInsertRows();
}

std::optional<std::pair<int, int>> RosterModel::userRow(const User& user,
                                                        const Group& group) const {
    const int parentRow = groupRow(&group);
    if (parentRow < 0) {
        return std::nullopt;
    }
    const auto& users = branches_[parentRow].users;
    const auto found = std::find(users.begin(), users.end(), &user);
    if (found == users.end()) {
        return std::nullopt;
    }
    return std::pair{parentRow, static_cast<int>(found - users.begin())};
}

void RosterModel::removeUser(User& user, Group& group) {
    const auto at = userRow(user, group);
    if (!at) {
        return;
    }
    const auto [parentRow, row] = *at;
    beginRemoveRows(index(parentRow, 0), row, row);
    auto& users = branches_[parentRow].users;
    users.erase(users.begin() + row);
    endRemoveRows();
}

void RosterModel::placeUser(User& user, Group& group) {
    const auto at = userRow(user, group);
    if (!at) {
        return;
    }
    const auto [parentRow, from] = *at;
    auto& users = branches_[parentRow].users;
    auto others = users;
    others.erase(others.begin() + from);
    const int to = static_cast<int>(
        std::lower_bound(others.begin(), others.end(), &user, userBefore) - others.begin());
    if (to == from) {
        return;
    }
    const QModelIndex parent = index(parentRow, 0);
    beginMoveRows(parent, from, from, parent, to > from ? to + 1 : to);
    users.erase(users.begin() + from);
    users.insert(users.begin() + to, &user);
    endMoveRows();
}

void RosterModel::insertGroup(Group& group) {
    if (groupRow(&group) >= 0) {
        return;
    }
    const auto at = std::lower_bound(
        branches_.begin(), branches_.end(), &group,
        [](const Branch& branch, const Group* g) { return groupBefore(branch.group, g); });
    const int row = static_cast<int>(at - branches_.begin());
    beginInsertRows({}, row, row);
    branches_.insert(branches_.begin() + row, Branch{&group, sortedUsers(group)});
    endInsertRows();
}

void RosterModel::regroupRow(Group& group) {
    const int from = groupRow(&group);
    if (from < 0) {
        return;
    }
    emit dataChanged(index(from, 0), index(from, 0));
    auto others = branches_;
    others.erase(others.begin() + from);
    const auto at = std::lower_bound(
        others.begin(), others.end(), &group,
        [](const Branch& branch, const Group* g) { return groupBefore(branch.group, g); });
    const int to = static_cast<int>(at - others.begin());
    if (to == from) {
        return;
    }
    // Qt counts the destination before the row is taken out.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    Branch moved = std::move(branches_[from]);
    branches_.erase(branches_.begin() + from);
    branches_.insert(branches_.begin() + to, std::move(moved));
    endMoveRows();
}

void RosterModel::haveToResortGroup(User& user) {
    resortTimer_.cancel();
    std::weak_ptr<ManagedObject> group;
    if (Group* g = user.group()) {
        group = g->shared_from_this();
    }
    resortTimer_ = main_.postAfter(kResortDelay, [this, group] {
        auto held = group.lock();
        delayedGroupResort(held && !held->isDeleted() ? static_cast<Group*>(held.get()) : nullptr);
    });
}

void RosterModel::delayedGroupResort(Group* group) {
    ++resorts_;
    lastResorted_ = group;
    std::vector<int> rows;
    if (group) {
        if (const int row = groupRow(group); row >= 0) {
            rows.push_back(row);
        }
    } else {
        for (std::size_t row = 0; row < branches_.size(); ++row) {
            rows.push_back(static_cast<int>(row));
        }
    }
    for (const int parentRow : rows) {
        auto& branch = branches_[parentRow];
        auto sorted = branch.users;
        std::sort(sorted.begin(), sorted.end(), userBefore);
        if (sorted == branch.users) {
            continue;
        }
        const QPersistentModelIndex parent = index(parentRow, 0);
        emit layoutAboutToBeChanged({parent}, QAbstractItemModel::VerticalSortHint);
        QModelIndexList before;
        QModelIndexList after;
        for (std::size_t row = 0; row < branch.users.size(); ++row) {
            before.push_back(index(static_cast<int>(row), 0, parent));
            const auto to = std::find(sorted.begin(), sorted.end(), branch.users[row]);
            after.push_back(createIndex(static_cast<int>(to - sorted.begin()), 0, branch.group));
        }
        branch.users = std::move(sorted);
        changePersistentIndexList(before, after);
        emit layoutChanged({parent}, QAbstractItemModel::VerticalSortHint);
    }
}

void RosterModel::hideOfflineUsersChanged() {
    // Offline users without a group would vanish from the list for good: they go to "General".
    for (const auto& user : context_.fetch<User>([](const User& user) {
             return user.userOffline() && !user.group() && !user.removed();
         })) {
        user->setGroup(Group::general(context_).get());
    }
    beginResetModel();
    hideOffline_ = UserDefaults::standard().boolForKey("hideOfflineUsers");
    rebuild();
    endResetModel();
}

TreeItem* RosterModel::itemAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    if (auto* group = static_cast<Group*>(index.internalPointer())) {
        const int parentRow = groupRow(group);
        return parentRow < 0 ? nullptr : branches_[parentRow].users[index.row()];
    }
    return branches_[index.row()].group;
}

QModelIndex RosterModel::indexOf(const TreeItem* item) const {
    for (std::size_t parentRow = 0; parentRow < branches_.size(); ++parentRow) {
        const auto& branch = branches_[parentRow];
        if (branch.group == item) {
            return index(static_cast<int>(parentRow), 0);
        }
        const auto found = std::find(branch.users.begin(), branch.users.end(), item);
        if (found != branch.users.end()) {
            return createIndex(static_cast<int>(found - branch.users.begin()), 0, branch.group);
        }
    }
    return {};
}

std::vector<User*> RosterModel::shownUsers(const Group& group) const {
    const int row = groupRow(&group);
    return row < 0 ? std::vector<User*>{} : branches_[row].users;
}

std::vector<Group*> RosterModel::groups() const {
    std::vector<Group*> groups;
    for (const auto& branch : branches_) {
        groups.push_back(branch.group);
    }
    return groups;
}

void RosterModel::moveUsers(const std::vector<User*>& users, Group& group) {
    for (auto* user : users) {
        if (user->group() != &group) {
            user->setGroup(&group);  // the move event moves the row
        }
    }
    SaveAppContextIfChanged();
}

QModelIndex RosterModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) {
        return {};
    }
    if (!parent.isValid()) {
        return row < static_cast<int>(branches_.size()) ? createIndex(row, 0, nullptr)
                                                        : QModelIndex();
    }
    if (parent.internalPointer() || parent.row() >= static_cast<int>(branches_.size())) {
        return {};  // users have no children
    }
    const auto& branch = branches_[parent.row()];
    return row < static_cast<int>(branch.users.size()) ? createIndex(row, 0, branch.group)
                                                       : QModelIndex();
}

QModelIndex RosterModel::parent(const QModelIndex& child) const {
    auto* group = child.isValid() ? static_cast<Group*>(child.internalPointer()) : nullptr;
    if (!group) {
        return {};
    }
    const int row = groupRow(group);
    return row < 0 ? QModelIndex() : createIndex(row, 0, nullptr);
}

int RosterModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(branches_.size());
    }
    if (parent.internalPointer() || parent.row() >= static_cast<int>(branches_.size())) {
        return 0;
    }
    return static_cast<int>(branches_[parent.row()].users.size());
}

int RosterModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant RosterModel::data(const QModelIndex& index, int role) const {
    const TreeItem* item = itemAt(index);
    if (!item) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
        case Qt::AccessibleTextRole:
            return QString::fromStdString(item->name());
        case Qt::DecorationRole:
            return statusIcon(item->icon());
        case Qt::ForegroundRole:
            if (item->isUser() && static_cast<const User*>(item)->color() == "gray") {
                return QColor(Qt::gray);
            }
            return {};
        case Qt::FontRole:
            if (!item->isUser()) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        default:
            return {};
    }
}

bool RosterModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TreeItem* item = itemAt(index);
    if (role != Qt::EditRole || !item || item->isUser()) {
        return false;
    }
    GroupAndUserNameFormatter rule(false);
    rule.textShouldBeginEditing(item->name());
    const std::string name = rule.getObjectValue(value.toString().toStdString());
    if (name != item->name()) {
        static_cast<Group*>(item)->setName(name);  // the rename event moves the row
        SaveAppContextIfChanged();
    }
    return true;
}

Qt::ItemFlags RosterModel::flags(const QModelIndex& index) const {
    const TreeItem* item = itemAt(index);
    if (!item) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (!item->isUser()) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QStringList RosterModel::mimeTypes() const {
    return {QString::fromLatin1(kTreeItemType), QStringLiteral("text/uri-list")};
}

QMimeData* RosterModel::mimeData(const QModelIndexList& indexes) const {
    auto* data = new QMimeData;
    QStringList names;
    dragged_.clear();
    for (const auto& index : indexes) {
        if (TreeItem* item = itemAt(index)) {
            dragged_.push_back(item);
            names.push_back(QString::fromStdString(item->name()));
        }
    }
    data->setData(QString::fromLatin1(kTreeItemType), {});
    data->setText(names.join('\n'));
    return data;
}

Qt::DropActions RosterModel::supportedDropActions() const {
    return Qt::MoveAction | Qt::CopyAction;
}

Qt::DropActions RosterModel::supportedDragActions() const {
    return Qt::MoveAction;
}

Qt::DropAction RosterModel::validateDrop(const QMimeData* data, int row,
                                         const QModelIndex& parent) const {
    const TreeItem* proposed = itemAt(parent);
    if (!proposed || !data) {
        return Qt::IgnoreAction;
    }
    if (data->hasUrls()) {
        return proposed->isUser() && !static_cast<const User*>(proposed)->userOffline() && row < 0
                   ? Qt::CopyAction
                   : Qt::IgnoreAction;
    }
    if (!data->hasFormat(QString::fromLatin1(kTreeItemType)) || dragged_.empty()) {
        return Qt::IgnoreAction;
    }
    if (std::any_of(dragged_.begin(), dragged_.end(),
                    [](const TreeItem* item) { return !item->isUser(); })) {
        return Qt::IgnoreAction;  // groups are never moved
    }
    if (proposed->isUser()) {
        return Qt::MoveAction;  // onto the user's group
    }
    return row < 0 ? Qt::MoveAction : Qt::IgnoreAction;
}

bool RosterModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                  const QModelIndex& parent) const {
    return validateDrop(data, row, parent) != Qt::IgnoreAction;
}

bool RosterModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                               const QModelIndex& parent) {
    const Qt::DropAction action = validateDrop(data, row, parent);
    TreeItem* proposed = itemAt(parent);
    if (action == Qt::CopyAction) {
        std::vector<std::string> paths;
        for (const auto& url : data->urls()) {
            if (url.isLocalFile()) {
                paths.push_back(url.toLocalFile().toStdString());
            }
        }
        return !paths.empty() && sendFiles_ && sendFiles_(paths, *static_cast<User*>(proposed));
    }
    if (action != Qt::MoveAction) {
        return false;
    }
    Group* target =
        proposed->isUser() ? static_cast<User*>(proposed)->group() : static_cast<Group*>(proposed);
    std::vector<User*> users;
    for (auto* item : dragged_) {
        users.push_back(static_cast<User*>(item));
    }
    if (target) {
        moveUsers(users, *target);
    }
    return true;
}

}  // namespace corvaline::ui
