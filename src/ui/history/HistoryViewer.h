#pragma once

// A history window: the users and chats on the left, the stored history of the selected one
// on the right, newest first, with a find bar, saving as text and printing.
//
//   HistoryViewer::initAndShow(nullptr);        // the menu's command: nothing selected
//   HistoryViewer::initAndShow(&user);          // a conversation's: its user (or its chat)
//
// Any number may be open; each deletes itself when it closes. Selecting a row shows its
// newest entries at once and builds the older ones below in short slices of work, so a long
// history never holds the window up; entries recorded later go on top.

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/observers/ObservationToken.h"

class QListView;
class QTextDocument;

namespace corvaline {
class Chat;
class LogEntry;
class ManagedObject;
class User;
}  // namespace corvaline

namespace corvaline::ui {

class FindBar;
class HistoryBlocks;
class HistoryList;
class PrintingTextView;
struct ListItem;

// GUI thread (the main queue's), like the model it shows.
class HistoryViewer : public QWidget {
    Q_OBJECT
  public:
    // How many of the newest entries are shown at once, how many older ones a page holds, and
    // how long the window may be kept busy by pages before it handles events again.
    static constexpr std::size_t kFirstEntries = 60;
    static constexpr std::size_t kOlderBatch = 20;
    static constexpr std::chrono::milliseconds kSlice{8};

    // Opens a new window for the user or chat (none: nothing selected) and shows it.
    static HistoryViewer* initAndShow(ManagedObject* item);
    ~HistoryViewer() override;

    HistoryList* leftList() const { return list_; }
    QListView* userListTableView() const { return listView_; }
    PrintingTextView* textView() const { return text_; }
    FindBar* findBar() const { return findBar_; }
    // The selected user or chat, or none.
    ManagedObject* selectedItem() const { return selected_.get(); }
    // Selects the row of the user or chat (none clears the selection).
    void selectItem(const ManagedObject* item);
    // The entries taken into the text so far (transfers left hidden among them counted),
    // and whether older entries are still being built.
    std::size_t takenEntries() const { return taken_; }
    bool loadingOlder() const { return olderLeft_ > 0; }

    // The save panel, with the row's name (made safe for a file name) and ".txt" proposed.
    void save();
    // Writes the plain text in UTF-8 to `path` in one piece; a failure leaves any file there
    // as it was and shows the error in a message box. False on failure.
    bool saveTo(QString path);
    QString proposedFileName() const;
    // The message box of the last failed save while it is open.
    QMessageBox* errorBox() const { return errorBox_; }

  signals:
    // The whole history of the selected row is in the text.
    void olderEntriesLoaded();

  private:
    explicit HistoryViewer(ManagedObject* item);
    void selectionChanged();
    void listUpdated(bool rowsCameOrWent);
    // Takes the entries recorded since the last pass into the text, on top.
    void updateLog();
    void updateLogSoon();
    void loadOlder();
    std::size_t logEntriesNumber() const;

    std::shared_ptr<ManagedObject> openedFor_;
    std::shared_ptr<ManagedObject> selected_;
    HistoryList* list_;
    QListView* listView_;
    PrintingTextView* text_;
    FindBar* findBar_;
    std::unique_ptr<HistoryBlocks> blocks_;
    std::size_t taken_ = 0;
    std::size_t olderLeft_ = 0;              // the oldest entries not yet built
    std::shared_ptr<LogEntry> oldestTaken_;  // the last entry fetched so far
    bool updatePending_ = false;
    bool rebuilding_ = false;
    int generation_ = 0;  // of the selection, so that slices of an earlier one stop
    std::vector<ObservationToken> logObservations_;
    QPointer<QMessageBox> errorBox_;
};

}  // namespace corvaline::ui
