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

int compareNames(const TreeItem& a, const TreeItem& b) {
    return QString::fromStdString(a.name()).compare(QString::fromStdString(b.name()),
                                                    Qt::CaseInsensitive);
}

bool groupBefore(const Group* a, const Group* b) {
    const int order = compareNames(*a, *b);
    return order != 0 ? order < 0 : a->objectId() < b->objectId();
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

RosterModel::~RosterModel() = default;

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

RosterModel::SortKey RosterModel::keyOf(const User& user) {
    return {user.userOffline(), QString::fromStdString(user.name()), user.userId(), &user};
}

bool RosterModel::keyBefore(const SortKey& a, const SortKey& b) {
    if (a.offline != b.offline) {
        return !a.offline;
    }
    if (const int order = a.name.compare(b.name, Qt::CaseInsensitive); order != 0) {
        return order < 0;
    }
    if (a.userId != b.userId) {
        return a.userId < b.userId;
    }
    return std::less<const User*>()(a.user, b.user);
}

void RosterModel::fillBranch(Branch& branch) {
    std::vector<std::pair<SortKey, User*>> sorted;
    for (auto* user : branch.group->users()) {
        if (shows(*user) && !placed_.contains(user)) {
            sorted.emplace_back(keyOf(*user), user);
        }
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return keyBefore(a.first, b.first); });
    for (auto& [key, user] : sorted) {
        branch.users.push_back(user);
        placed_.emplace(user, Placement{branch.group, std::move(key)});
    }
}

void RosterModel::rebuild() {
    branches_.clear();
    placed_.clear();
    changed_.clear();
    std::vector<Group*> groups;
    for (const auto& group : context_.fetch<Group>()) {
        groups.push_back(group.get());
    }
    std::sort(groups.begin(), groups.end(), groupBefore);
    for (auto* group : groups) {
        branches_.push_back({group, {}});
        fillBranch(branches_.back());
    }
}

void RosterModel::observe() {
    auto& events = ModelEvents::shared();
    // A user leaving the list leaves its row at once: the record may be gone by the next turn.
    observations_.push_back(
        events.observeUserInserted([this](User& user, Group&) { userChanged(user); }));
    observations_.push_back(events.observeUserRemoved([this](User& user, Group&) {
        removeRow(&user);
        changed_.erase(&user);
    }));
    observations_.push_back(events.observeUserMoved([this](User& user, Group&, Group&) {
        removeRow(&user);
        userChanged(user);
    }));
    observations_.push_back(
        events.observeUserChanged([this](User& user, std::string_view) { userChanged(user); }));
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
        for (const auto* user : branches_[row].users) {
            placed_.erase(user);
        }
        branches_.erase(branches_.begin() + row);
        endRemoveRows();
    }));
    observations_.push_back(UserDefaults::standard().observe(
        "hideOfflineUsers", [this] { hideOfflineUsersChanged(); }));
}

void RosterModel::userChanged(User& user) {
    // A record gone unlisted may have left its address to a new one.
    if (auto [at, added] = changed_.try_emplace(&user, user.weak_from_this());
        !added && at->second.expired()) {
        at->second = user.weak_from_this();
    }
    if (batchPosted_) {
        return;
    }
    batchPosted_ = true;
    main_.post([alive = std::weak_ptr<RosterModel*>(alive_)] {
        if (auto model = alive.lock()) {
            (*model)->applyChanges();
        }
    });
}

void RosterModel::applyChanges() {
    batchPosted_ = false;
    if (changed_.empty()) {
        return;
    }
    const auto changed = std::exchange(changed_, {});
    std::map<Group*, std::vector<User*>> arriving;
    std::vector<const User*> stayed;
    for (const auto& [raw, weak] : changed) {
        const auto held = weak.lock();
        auto* user = held && !held->isDeleted() ? static_cast<User*>(held.get()) : nullptr;
        Group* target = user && shows(*user) ? user->group() : nullptr;
        if (target && groupRow(target) < 0) {
            target = nullptr;  // a group the list does not have (yet)
        }
        const auto placed = placed_.find(raw);
        if (placed != placed_.end() && placed->second.group == target) {
            if (SortKey key = keyOf(*user); !(key == placed->second.key)) {
                moveRow(raw, std::move(key));
            }
            stayed.push_back(raw);
            continue;
        }
        if (placed != placed_.end()) {
            removeRow(raw);
        }
        if (target) {
            arriving[target].push_back(user);
        }
    }
    for (auto& [group, users] : arriving) {
        insertUserRows(*group, std::move(users));
    }
    // One repaint of each group's changed stretch, not one per row.
    std::map<int, std::pair<int, int>> repaint;
    for (const auto* user : stayed) {
        const auto [parentRow, row] = rowOf(user);
        auto [at, added] = repaint.try_emplace(parentRow, row, row);
        at->second = {std::min(at->second.first, row), std::max(at->second.second, row)};
    }
    for (const auto& [parentRow, rows] : repaint) {
        const QModelIndex parent = index(parentRow, 0);
        emit dataChanged(index(rows.first, 0, parent), index(rows.second, 0, parent));
    }
    emit changesApplied();
}

int RosterModel::groupRow(const Group* group) const {
    for (std::size_t row = 0; row < branches_.size(); ++row) {
        if (branches_[row].group == group) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

int RosterModel::lowerRow(const Branch& branch, const SortKey& key) const {
    const auto at = std::lower_bound(
        branch.users.begin(), branch.users.end(), key,
        [this](const User* user, const SortKey& k) { return keyBefore(placed_.at(user).key, k); });
    return static_cast<int>(at - branch.users.begin());
}

std::pair<int, int> RosterModel::rowOf(const User* user) const {
    const auto placed = placed_.find(user);
    if (placed == placed_.end()) {
        return {-1, -1};
    }
    const int parentRow = groupRow(placed->second.group);
    return {parentRow, lowerRow(branches_[parentRow], placed->second.key)};
}

void RosterModel::removeRow(const User* user) {
    const auto [parentRow, row] = rowOf(user);
    if (parentRow < 0) {
        return;
    }
    beginRemoveRows(index(parentRow, 0), row, row);
    auto& users = branches_[parentRow].users;
    users.erase(users.begin() + row);
    placed_.erase(user);
    endRemoveRows();
}

void RosterModel::moveRow(const User* user, SortKey key) {
    const auto [parentRow, from] = rowOf(user);
    auto& users = branches_[parentRow].users;
    // The place among the others: the row itself still sorts by its old key.
    int to = lowerRow(branches_[parentRow], key);
    if (to > from) {
        --to;
    }
    if (to == from) {
        placed_.at(user).key = std::move(key);
        return;
    }
    const QModelIndex parent = index(parentRow, 0);
    // Qt counts the destination before the row is taken out.
    beginMoveRows(parent, from, from, parent, to > from ? to + 1 : to);
    if (to > from) {
        std::rotate(users.begin() + from, users.begin() + from + 1, users.begin() + to + 1);
    } else {
        std::rotate(users.begin() + to, users.begin() + from, users.begin() + from + 1);
    }
    placed_.at(user).key = std::move(key);
    endMoveRows();
}

void RosterModel::insertUserRows(Group& group, std::vector<User*> users) {
    std::vector<std::pair<SortKey, User*>> sorted;
    for (auto* user : users) {
        sorted.emplace_back(keyOf(*user), user);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return keyBefore(a.first, b.first); });
    const int parentRow = groupRow(&group);
    const QModelIndex parent = index(parentRow, 0);
    auto& branch = branches_[parentRow];
    for (auto run = sorted.begin(); run != sorted.end();) {
        // The new users that fall between the same two rows go in under one signal.
        const int row = lowerRow(branch, run->first);
        auto end = std::next(run);
        while (end != sorted.end() && lowerRow(branch, end->first) == row) {
            ++end;
        }
        const int count = static_cast<int>(end - run);
        beginInsertRows(parent, row, row + count - 1);
        std::vector<User*> added;
        for (auto at = run; at != end; ++at) {
            added.push_back(at->second);
        }
        branch.users.insert(branch.users.begin() + row, added.begin(), added.end());
        for (auto at = run; at != end; ++at) {
            placed_.emplace(at->second, Placement{&group, std::move(at->first)});
        }
        endInsertRows();
        run = end;
    }
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
    auto& branch = *branches_.insert(branches_.begin() + row, Branch{&group, {}});
    fillBranch(branch);
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
        if (parentRow < 0 || index.row() >= static_cast<int>(branches_[parentRow].users.size())) {
            return nullptr;
        }
        return branches_[parentRow].users[index.row()];
    }
    return index.row() < static_cast<int>(branches_.size()) ? branches_[index.row()].group
                                                            : nullptr;
}

QModelIndex RosterModel::indexOf(const TreeItem* item) const {
    if (!item) {
        return {};
    }
    if (!item->isUser()) {
        const int row = groupRow(static_cast<const Group*>(item));
        return row < 0 ? QModelIndex() : index(row, 0);
    }
    const auto [parentRow, row] = rowOf(static_cast<const User*>(item));
    return parentRow < 0 ? QModelIndex() : createIndex(row, 0, branches_[parentRow].group);
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
    applyChanges();  // the person who moved them sees it at once
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
            return icon(item->icon());
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

const QIcon& RosterModel::icon(const std::string& name) const {
    // Each picture is read once: rows repaint often while many users change.
    auto found = icons_.find(name);
    if (found == icons_.end()) {
        found = icons_.emplace(name, statusIcon(name)).first;
    }
    return found->second;
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
    if (!itemAt(index)) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    // The view lays out every row after each batch: the index tells a group row (no parent)
    // without reading the record.
    if (!index.internalPointer()) {
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
