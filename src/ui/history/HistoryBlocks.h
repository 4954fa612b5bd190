#pragma once

#include <QFont>
#include <QTextFormat>
#include <array>
#include <memory>
#include <vector>

class QTextCursor;
class QTextDocument;

namespace corvaline {
class LogEntry;
}  // namespace corvaline

namespace corvaline::ui {

// Writes history entries into the history viewer's text, each entry a shaded block of lines
// (a grey header, then the message text or the transfer's files and its "Open Folder" link; a
// system line is the header alone), entries apart by an empty line, neighbouring blocks in
// alternating shades. Shaded paragraphs rather than one table per entry: a text of tens of
// thousands of tables takes seconds to lay out anew after each addition. Entries go on top (newer
// ones) or at the bottom (older ones) without touching the blocks already there. GUI thread.
class HistoryBlocks {
  public:
    explicit HistoryBlocks(QTextDocument& document);

    // Messages, system lines and finished transfers get a block; other transfers do not.
    static bool isShown(const LogEntry& entry);

    // Empties the text and forgets the shades.
    void clear();
    // The entries (newest first) above or below the blocks there are; answers how many were
    // shown.
    int prepend(const std::vector<std::shared_ptr<LogEntry>>& newestFirst);
    int append(const std::vector<std::shared_ptr<LogEntry>>& newestFirst);

  private:
    // Writes the shown entries (newest first) from the cursor's empty line on (after an empty
    // line of their own when `afterBlocks`); the cursor ends behind them.
    int write(QTextCursor& cursor, const std::vector<std::shared_ptr<LogEntry>>& newestFirst,
              bool firstShade, bool afterBlocks);
    void writeEntry(QTextCursor& cursor, const LogEntry& entry, bool shade);
    // The formats of the palette and font of the moment, made once per writing.
    void prepareFormats();

    struct Formats {
        std::array<QTextBlockFormat, 2> block;  // unshaded and shaded
        QTextCharFormat header;
        QTextCharFormat body;
        QTextCharFormat link;
    };

    QTextDocument& document_;
    QFont font_;
    Formats formats_;
    bool empty_ = true;
    bool topShade_ = false;     // the shade of the topmost block
    bool bottomShade_ = false;  // and of the lowest
};

}  // namespace corvaline::ui
