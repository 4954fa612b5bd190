#pragma once

#include <QFont>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <optional>
#include <vector>

#include "core/model/store/Value.h"

class QTextEdit;

namespace corvaline {
class FileTransfer;
class LogEntry;
class Message;
class SystemMessage;
}  // namespace corvaline

namespace corvaline::ui {

class FileTransferView;
class TransferItems;

// The kinds of line of a conversation's history text.
enum class LineKind {
    MessageText,  // black, indented, no time stamp
    Status,       // grey, replaces the status line before it while that is the last line
    System,       // grey, time stamp
    Header,       // grey, time stamp: the sender of a message or transfer
    SystemError,  // red, time stamp
};

// Writes history entries and status lines at the end of a read-only text view, only ever
// through text cursors: every text is inserted as plain text, and links are made only for the
// http, https and mailto addresses found in it. GUI thread.
class ConversationText {
  public:
    explicit ConversationText(QTextEdit& view);

    // Rebuilds the styles from the font and its size in screen points (the indent and the line
    // spacing follow it); lines already shown keep theirs. Scrolls to the end.
    void updateParagraphs(const QFont& font);

    // Appends one line; no time means now.
    void addText(const QString& text, LineKind kind, std::optional<Date> time = std::nullopt);
    // One entry by its exact class: message, file transfer, else a system line.
    void addEntry(LogEntry& entry);
    void addMessage(const Message& message);
    // The sender's line, then the transfer's item on a line of its own.
    FileTransferView* addFileTransfer(FileTransfer& transfer);
    void addSystemMessage(const SystemMessage& line);

    // Empties the text; no status line is left to replace.
    void clear();
    void scrollToEnd();

    // Where the status line starts while it is the last line, else -1.
    int statusLinePosition() const { return lastLineIsStatusAndItPos_; }
    // The transfer items in the text, in its order.
    std::vector<FileTransferView*> transferItems() const;

  private:
    // The sender's name: any user of an incoming entry, the local user for an outgoing one.
    static QString senderName(const LogEntry& entry);

    QTextEdit& view_;
    QTextBlockFormat baseParagraph_;
    QTextBlockFormat fileParagraph_;
    QTextCharFormat attributesBlack_;
    QTextCharFormat attributesGray_;
    QTextCharFormat attributesRed_;
    int lastLineIsStatusAndItPos_ = -1;
    TransferItems* items_;  // owned by the view
};

}  // namespace corvaline::ui
