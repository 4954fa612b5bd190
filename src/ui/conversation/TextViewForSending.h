#pragma once

#include <QTextEdit>
#include <filesystem>
#include <functional>
#include <vector>

namespace corvaline {
class Chat;
class User;
}  // namespace corvaline

namespace corvaline::ui {

class SpellHighlighter;

// The message input of the conversation and mass-message windows: plain text only. Return or
// keypad Enter sends as "SendMessageKey" says, long texts go out in pieces, a one-user
// conversation tells the other side that the user types, some emoji sequences are cleaned out
// as they are typed, misspelt words are underlined with suggestions in the context menu, and
// files dropped on it go to the one online user. GUI thread.
class TextViewForSending : public QTextEdit {
    Q_OBJECT
  public:
    // Where the text goes: the chat when there is one, else any one of `users` (to that one
    // user, or to all of them as one mass message each piece).
    struct Recipients {
        std::function<std::vector<User*>()> users;
        std::function<Chat*()> chat;
        bool mass = false;
    };
    // Starts sending files and folders to the user; false when there was nothing to send.
    using FileSender =
        std::function<bool(const std::vector<std::filesystem::path>& paths, User& to)>;

    explicit TextViewForSending(QWidget* parent = nullptr);

    void setRecipients(Recipients recipients) { recipients_ = std::move(recipients); }
    void setFileSender(FileSender sender) { fileSender_ = std::move(sender); }

    // Sends the whole text and empties the view; an empty text sends nothing. A mass message
    // closes its window.
    void sendMessage();
    // The text exactly as typed (after the emoji clean-up), line breaks as "\n".
    QString typedText() const;

    // Each applies the setting and stores it in its user default. Automatic correction and
    // grammar checking have no checker here: only the setting is kept.
    void setContinuousSpellCheckingEnabled(bool enabled);
    void setAutomaticSpellingCorrectionEnabled(bool enabled);
    void setGrammarCheckingEnabled(bool enabled);
    bool isContinuousSpellCheckingEnabled() const;

    // Files dropped on the view go to the one online user of a conversation without chat:
    // false when the drop is not such one (it is then an ordinary text drop) or nothing
    // was sent.
    bool performFileDrop(const QMimeData* data);
    // Whether a drop of `data` would be such one.
    bool offersFileDrop(const QMimeData* data) const { return fileRecipient(data) != nullptr; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool isSendingKey(const QKeyEvent& event) const;
    void didChangeText();
    // The one online recipient that dropped files go to, when the drop offers files.
    User* fileRecipient(const QMimeData* data) const;
    // Takes a drag of files for that user as a copy; false for any other drag.
    bool acceptFileDrag(QDragMoveEvent* event) const;
    std::vector<User*> users() const;

    Recipients recipients_;
    FileSender fileSender_;
    SpellHighlighter* spelling_;
    bool cleaning_ = false;
};

}  // namespace corvaline::ui
