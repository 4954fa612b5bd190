#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <vector>

#include "ui/controls/OpenFolder.h"
#include "ui/conversation/TextViewForSending.h"

namespace corvaline {
class Group;
class TreeItem;
}  // namespace corvaline

namespace corvaline::app {

// The menu commands of the main window that work on the roster and the files: add, rename and
// remove groups, delete users, start conversations, mass messages, send files, open the
// received-files folder, the debug log. The selected row
// comes from the roster view. GUI thread (the main queue's).
class Commands : public QObject {
    Q_OBJECT
  public:
    using SelectedItem = std::function<TreeItem*()>;

    // Confirmation sheets open on `window`; `selectedItem` answers the one selected row.
    Commands(QWidget* window, SelectedItem selectedItem, QObject* parent);

    // Opens folders with the desktop's file manager unless told otherwise (tests).
    void setUrlOpener(ui::FolderOpener opener) { openUrl_ = std::move(opener); }
    // All selected rows in row order, for the mass message.
    void setSelectedItems(std::function<std::vector<TreeItem*>()> items) {
        selectedItems_ = std::move(items);
    }
    // Where the files chosen for the selected user go.
    void setOutgoingFiles(ui::TextViewForSending::FileSender sender) {
        outgoingFiles_ = std::move(sender);
    }

    void AddGroup();
    void renameGroup();
    // Only a selected group, after confirmation; its users move to "General".
    void removeGroup();
    // Only a selected user other than the local one, after confirmation; a user with history
    // is kept, marked removed.
    void deleteUser();
    // Opens the received-files folder, made first when it is not there; says so when it
    // cannot be opened.
    void openReceivedFilesFolder();
    void ShowDebugLog();
    // Opens or fronts the conversation with a selected user.
    void StartConversation();
    // A conversation with the online users of a selected group (a group chat for two or more).
    void StartGroupConversation();
    // The information window of a selected user.
    void GetInfo();
    // A new history window with nothing selected.
    void ShowHistory();
    // The mass-message window with the selected rows, or, when none is selected, with the
    // users the tag names (1 nobody, 2 the online users, any other everybody).
    void openMassMessage(int tag);
    // The file chooser on the main window for a selected user.
    void sendFiles();

  signals:
    // The roster list reloads and puts the new group's name into editing.
    void groupAdded(corvaline::Group* group);
    void startGroupRenaming(corvaline::Group* group);
    // The roster list reloads (after a group or a user went).
    void rosterChanged();

  private:
    QPointer<QWidget> window_;
    SelectedItem selectedItem_;
    ui::FolderOpener openUrl_;
    std::function<std::vector<TreeItem*>()> selectedItems_;
    ui::TextViewForSending::FileSender outgoingFiles_;
};

}  // namespace corvaline::app
