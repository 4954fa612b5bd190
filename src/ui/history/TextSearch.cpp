#include "ui/history/TextSearch.h"

#include <QAbstractTextDocumentLayout>
#include <QStringView>
#include <algorithm>
#include <utility>

namespace corvaline::ui {
namespace {

// Characters that end a paragraph or stand for a frame: the document's search never matches
// across them, so a pattern holding one matches nothing.
bool crossesParagraphs(const QString& pattern) {
    return pattern.contains(QChar::ParagraphSeparator) || pattern.contains(QChar(0xfdd0)) ||
           pattern.contains(QChar(0xfdd1));
}

// Folds each character as the case-insensitive comparison of strings does, one code point to
// one code point, so that positions in the folded text are positions in the document.
QString folded(QString text) {
    QChar* begin = text.data();
    QChar* const end = begin + text.size();
    for (QChar* at = begin; at != end; ++at) {
        if (at->isHighSurrogate() && at + 1 != end && (at + 1)->isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(*at, at[1]));
            if (QChar::requiresSurrogates(folded)) {
                at[0] = QChar(QChar::highSurrogate(folded));
                at[1] = QChar(QChar::lowSurrogate(folded));
            }
            ++at;
        } else {
            *at = at->toCaseFolded();
        }
    }
    return text;
}

}  // namespace

TextSearch::TextSearch(QTextDocument& document, QObject* parent)
    : QObject(parent), document_(&document) {
    document.documentLayout();  // a document without a layout reports no changes
    connect(&document, &QTextDocument::contentsChange, this, &TextSearch::follow);
    text();  // made while the document is short, then kept up with its changes
}

void TextSearch::follow(int position, int /*removed*/, int added) {
    if (stale_ || !document_) {
        return;
    }
    // What went is read from the sizes: a report may count an unchanged character as
    // removed and added again (the first layout of an empty text does).
    const int end = document_->characterCount();  // one past the final paragraph end
    const qsizetype gone = added - (end - text_.size());
    if (position < 0 || added < 0 || position + added > end || gone < 0 ||
        gone > text_.size() - position) {
        stale_ = true;
        return;
    }
    QTextCursor range(document_);
    range.setPosition(position);
    range.setPosition(std::min(position + added, end - 1), QTextCursor::KeepAnchor);
    QString raw = range.selectedText();
    if (position + added == end) {
        raw += QChar::ParagraphSeparator;  // the final one, which no cursor selects
    }
    raw.replace(QChar::Nbsp, QLatin1Char(' '));
    text_.replace(position, gone, folded(std::move(raw)));
}

const QString& TextSearch::text() {
    if (stale_) {
        // The raw text has one character for every cursor position of the document. Folded
        // once here, it is searched case-sensitively: much faster than folding at each compare.
        QString raw = document_->toRawText();
        raw.replace(QChar::Nbsp, QLatin1Char(' '));
        text_ = folded(std::move(raw));
        // One character for each position, the final paragraph end included.
        text_.resize(document_->characterCount(), QChar::ParagraphSeparator);
        stale_ = false;
    }
    return text_;
}

QTextCursor TextSearch::find(const QString& pattern, int from, bool backward, int to) {
    if (!document_ || pattern.isEmpty() || crossesParagraphs(pattern)) {
        return {};
    }
    const QString& whole = text();
    const QString wanted = folded(pattern);
    qsizetype at = -1;
    if (!backward) {
        const qsizetype end = to < 0 ? whole.size() : std::min<qsizetype>(to, whole.size());
        if (from >= 0 && from < end) {
            at = QStringView(whole).first(end).indexOf(wanted, from);
        }
    } else if (from > 0) {
        at = whole.lastIndexOf(wanted, from - 1);
    }
    if (at < 0) {
        return {};
    }
    QTextCursor match(document_);
    match.setPosition(static_cast<int>(at));
    match.setPosition(static_cast<int>(at + pattern.size()), QTextCursor::KeepAnchor);
    return match;
}

}  // namespace corvaline::ui
