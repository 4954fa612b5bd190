#pragma once

#include <QSyntaxHighlighter>

namespace corvaline::ui {

class SpellChecker;

// Underlines the misspelt words of a document as it is typed. GUI thread.
class SpellHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
  public:
    SpellHighlighter(QTextDocument* document, const SpellChecker& checker);

    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }

  protected:
    void highlightBlock(const QString& text) override;

  private:
    const SpellChecker& checker_;
    bool enabled_ = true;
};

}  // namespace corvaline::ui
