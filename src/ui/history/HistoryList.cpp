#include "ui/history/HistoryList.h"

#include <QTimer>
#include <algorithm>
#include <map>
#include <numeric>
#include <set>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/store/ObjectContext.h"
#include "ui/format/DateText.h"
#include "ui/icons/StatusIcons.h"

namespace corvaline::ui {

ManagedObject* ListItem::item() const {
    return chat ? static_cast<ManagedObject*>(chat.get()) : user.get();
}

HistoryList::HistoryList(ObjectContext& context, QObject* parent)
    : QAbstractListModel(parent), context_(context) {
    auto& events = ModelEvents::shared();
    const auto soon = [this](auto&&...) { rebuildSoon(); };
    observations_.push_back(events.observeUserInserted(soon));
    observations_.push_back(events.observeUserRemoved(soon));
    observations_.push_back(events.observeUserChanged("name", soon));
    observations_.push_back(events.observeUserChanged("icon", soon));
    // A chat gets its row with its first message.
    observations_.push_back(events.observeChatHistoryAppended([this](Chat& chat, LogEntry&) {
        if (rowOf(&chat) < 0) {
            rebuildSoon();
        }
    }));
    rows_ = build();
}

int HistoryList::rowOf(const ManagedObject* item) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [item](const ListItem& row) { return row.item() == item; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

int HistoryList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant HistoryList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return row.displayName;
        case Qt::DecorationRole:
            return row.icon;
        default:
            return {};
    }
}

std::vector<ListItem> HistoryList::build() const {
    std::vector<ListItem> users;
    for (auto& user : context_.fetch<User>()) {
        if (dynamic_cast<Me*>(user.get())) {
            continue;
        }
        // A user known only by id (never answered with a name) is listed by the id.
        QString name = QString::fromStdString(user->name().empty() ? user->userId() : user->name());
        if (user->removed()) {
            name = tr("%1 (removed)").arg(name);
        }
        const QString icon = QString::fromStdString(user->icon());
        users.push_back({name, user, nullptr, icon, statusIcon(icon.toStdString())});
    }
    std::stable_sort(users.begin(), users.end(), [](const ListItem& a, const ListItem& b) {
        return a.displayName.localeAwareCompare(b.displayName) < 0;
    });

    std::vector<std::pair<Date, std::shared_ptr<Chat>>> chats;
    for (auto& chat : context_.fetch<Chat>()) {
        if (auto first = chat->firstMessageDate()) {  // a chat without messages has no row
            chats.emplace_back(*first, chat);
        }
    }
    std::stable_sort(chats.begin(), chats.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [first, chat] : chats) {
        users.push_back({DateText::formatDate(first, false), nullptr, chat, QStringLiteral("Group"),
                         statusIcon("Group")});
    }
    return users;
}

void HistoryList::rebuildSoon() {
    if (rebuildPending_) {
        return;
    }
    rebuildPending_ = true;
    QTimer::singleShot(0, this, &HistoryList::rebuild);
}

void HistoryList::rebuild() {
    rebuildPending_ = false;
    auto rows = build();
    if (rows == rows_) {
        return;
    }
    emit aboutToUpdate();
    const bool went = removeGone(rows);
    reorder(rows);
    const bool came = insertNew(rows);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (!(rows_[row] == rows[row])) {
            rows_[row] = std::move(rows[row]);
            const QModelIndex changed = index(static_cast<int>(row));
            emit dataChanged(changed, changed);
        }
    }
    emit updated(came || went);
}

bool HistoryList::removeGone(const std::vector<ListItem>& rows) {
    std::set<const ManagedObject*> kept;
    for (const auto& row : rows) {
        kept.insert(row.item());
    }
    bool went = false;
    for (auto row = static_cast<int>(rows_.size()) - 1; row >= 0; --row) {
        if (!kept.contains(rows_[static_cast<std::size_t>(row)].item())) {
            beginRemoveRows({}, row, row);
            rows_.erase(rows_.begin() + row);
            endRemoveRows();
            went = true;
        }
    }
    return went;
}

void HistoryList::reorder(const std::vector<ListItem>& rows) {
    std::map<const ManagedObject*, std::size_t> place;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        place[rows[row].item()] = row;
    }
    std::vector<std::size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return place[rows_[a].item()] < place[rows_[b].item()];
    });
    if (std::is_sorted(order.begin(), order.end())) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QModelIndexList from;
    QModelIndexList to;
    std::vector<ListItem> sorted;
    for (std::size_t row = 0; row < order.size(); ++row) {
        from.push_back(index(static_cast<int>(order[row])));
        to.push_back(index(static_cast<int>(row)));
        sorted.push_back(std::move(rows_[order[row]]));
    }
    rows_ = std::move(sorted);
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool HistoryList::insertNew(const std::vector<ListItem>& rows) {
    // The rows here are now in the order of `rows`, with some missing.
    bool came = false;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (row < rows_.size() && rows_[row].item() == rows[row].item()) {
            continue;
        }
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(row), rows[row]);
        endInsertRows();
        came = true;
    }
    return came;
}

}  // namespace corvaline::ui
