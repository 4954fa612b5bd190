#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <memory>
#include <vector>

#include "platform/observers/ObservationToken.h"

namespace corvaline {
class Chat;
class ManagedObject;
class ObjectContext;
class User;
}  // namespace corvaline

namespace corvaline::ui {

// One row of the history viewer's list: a user (with the user's picture) or a chat (named by
// the date of its first message, with the group picture).
struct ListItem {
    QString displayName;
    std::shared_ptr<User> user;
    std::shared_ptr<Chat> chat;
    QString iconName;  // the status picture's name
    QIcon icon;

    // The user or the chat, whichever is set.
    ManagedObject* item() const;
    bool operator==(const ListItem& other) const {
        return displayName == other.displayName && user == other.user && chat == other.chat &&
               iconName == other.iconName;
    }
};

// The users (the local user left out; removed users kept for their history, marked so) by
// name, then the chats that have messages by the date of their first one. The rows follow the
// store a moment after it changes, in place: a renamed row moves, a changed picture is
// redrawn, rows come and go one by one, so the view keeps its selection. GUI thread (the main
// queue's).
class HistoryList : public QAbstractListModel {
    Q_OBJECT
  public:
    HistoryList(ObjectContext& context, QObject* parent = nullptr);

    const std::vector<ListItem>& rows() const { return rows_; }
    // The row of the user or chat, or -1.
    int rowOf(const ManagedObject* item) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  signals:
    // The rows follow a change of the users or chats offered (`rowsCameOrWent`: some were
    // added or removed, not only renamed, moved or redrawn).
    void aboutToUpdate();
    void updated(bool rowsCameOrWent);

  private:
    std::vector<ListItem> build() const;
    void rebuild();
    void rebuildSoon();
    // Takes out the rows whose items `rows` no longer has; answers whether any went.
    bool removeGone(const std::vector<ListItem>& rows);
    // Puts the remaining rows in the order they have in `rows`.
    void reorder(const std::vector<ListItem>& rows);
    // Inserts the rows of `rows` not here yet; answers whether any came.
    bool insertNew(const std::vector<ListItem>& rows);

    ObjectContext& context_;
    std::vector<ListItem> rows_;
    std::vector<ObservationToken> observations_;
    bool rebuildPending_ = false;
};

}  // namespace corvaline::ui
