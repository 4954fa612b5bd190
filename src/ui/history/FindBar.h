#pragma once

#include <QList>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace corvaline::ui {

class TextSearch;

// The find bar over a read-only text: searches as the pattern is typed (from where the last
// match started), steps to the next and previous match (Return, Shift+Return, the buttons;
// wrapping around the ends) and highlights the matches in view. A keystroke costs at most one
// pass over the text, whose search stops at the first match; a pattern that holds one that
// matched nothing is answered without a search. GUI thread.
class FindBar : public QWidget {
    Q_OBJECT
  public:
    explicit FindBar(QTextEdit& text, QWidget* parent = nullptr);

    QLineEdit* field() const { return field_; }
    // Selects the next or previous match; false when there is none.
    bool findNext();
    bool findPrevious();
    // Searches again after the text changed (the highlights follow).
    void refresh();
    // The matches highlighted: those in view.
    int highlightedMatches() const { return static_cast<int>(highlights_.size()); }

  private:
    bool find(QTextCursor from, bool backward);
    // The pattern holds one that the unchanged text does not.
    bool surelyMissing(const QString& pattern) const;
    void patternChanged();
    void highlight();

    QTextEdit& text_;
    TextSearch* search_;
    QLineEdit* field_;
    QLabel* status_;
    QList<QTextEdit::ExtraSelection> highlights_;
    QString missing_;  // a pattern the unchanged text does not hold
};

}  // namespace corvaline::ui
