#include "ui/conversation/SpellHighlighter.h"

#include <QTextBoundaryFinder>

#include "ui/conversation/SpellChecker.h"

namespace corvaline::ui {

SpellHighlighter::SpellHighlighter(QTextDocument* document, const SpellChecker& checker)
    : QSyntaxHighlighter(document), checker_(checker) {}

void SpellHighlighter::setEnabled(bool enabled) {
    if (enabled_ != enabled) {
        enabled_ = enabled;
        rehighlight();
    }
}

void SpellHighlighter::highlightBlock(const QString& text) {
    if (!enabled_) {
        return;
    }
    QTextCharFormat misspelt;
    misspelt.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    misspelt.setUnderlineColor(Qt::red);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    qsizetype start = -1;
    while (words.position() < text.size()) {
        if (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem) {
            start = words.position();
        }
        if (words.toNextBoundary() < 0) {
            break;
        }
        if (start < 0 || !(words.boundaryReasons() & QTextBoundaryFinder::EndOfItem)) {
            continue;
        }
        const QString word = text.mid(start, words.position() - start);
        if (word.front().isLetter() && !checker_.isCorrect(word)) {
            setFormat(int(start), int(word.size()), misspelt);
        }
        start = -1;
    }
}

}  // namespace corvaline::ui
