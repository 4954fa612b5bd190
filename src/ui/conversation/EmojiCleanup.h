#pragma once

#include <QString>
#include <QStringList>

class QTextDocument;

namespace corvaline::ui {

// The emoji sequences the message input takes out of what is typed: skin-tone modifiers
// are removed, and the rainbow flag and the region flags of the table become the waving black
// flag (U+1F3F4), so peers without those glyphs still see one picture. Any thread.
class EmojiCleanup {
  public:
    // U+1F3FB to U+1F3FF, in that order.
    static const QStringList& skinToneModifiers();
    // The rainbow flag, then the region flags in table order (247 sequences).
    static const QStringList& flagSequences();
    // U+1F3F4.
    static QString wavingBlackFlag();

    // Applies both tables to the document with its own edits, so the cursors on it (the
    // view's among them) keep their places in the text around the changes. True when the
    // text changed.
    static bool clean(QTextDocument& document);
};

}  // namespace corvaline::ui
