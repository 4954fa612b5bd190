#pragma once

#include "core/model/store/ManagedObjectModel.h"

namespace corvaline {

// The data model of the store: the roster (TreeItem, User, Group, Me), chats, the history
// (LogEntry, Message, SystemMessage, FileTransfer, fetched on demand) and the relay records.
// Built once; read-only afterwards (any thread).
const ManagedObjectModel& userListModel();

}  // namespace corvaline
