#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>

namespace corvaline::ui {

// Finds a pattern in a document as QTextDocument::find does without flags (case-insensitive,
// within one paragraph, a no-break space matching a space), but over one folded copy of the
// whole text that follows each change of the document as it is made: a long history is
// searched at each keystroke, the document's own search builds a string for every paragraph it
// passes, and copying the whole text anew at the first keystroke would hold the window up.
// GUI thread.
class TextSearch : public QObject {
  public:
    explicit TextSearch(QTextDocument& document, QObject* parent = nullptr);

    // The first match starting at or after `from`, or (backward) the last one starting before
    // it; a null cursor when there is none. Forward, only a match that ends by `to` counts (-1:
    // the end), so a search of part of a long text stops there.
    QTextCursor find(const QString& pattern, int from, bool backward, int to = -1);

  private:
    const QString& text();
    // Takes a change of the document into the copy (the whole copy is made again at the next
    // search when the two no longer line up).
    void follow(int position, int removed, int added);

    QPointer<QTextDocument> document_;
    QString text_;
    bool stale_ = true;
};

}  // namespace corvaline::ui
