#include "ui/history/FindBar.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QToolButton>
#include <algorithm>

#include "ui/history/TextSearch.h"

namespace corvaline::ui {

FindBar::FindBar(QTextEdit& text, QWidget* parent)
    : QWidget(parent),
      text_(text),
      search_(new TextSearch(*text.document(), this)),
      field_(new QLineEdit),
      status_(new QLabel) {
    field_->setPlaceholderText(tr("Find"));
    field_->setClearButtonEnabled(true);
    auto* previous = new QToolButton;
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(tr("Previous"));
    auto* next = new QToolButton;
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(tr("Next"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->addWidget(field_, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(status_);
    connect(field_, &QLineEdit::textChanged, this, &FindBar::patternChanged);
    connect(field_, &QLineEdit::returnPressed, this, [this] {
        if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) {
            findPrevious();
        } else {
            findNext();
        }
    });
    connect(previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(text.document(), &QTextDocument::contentsChanged, this, [this] { missing_.clear(); });
    // Highlights cover what is in view, so they follow the view.
    connect(text.verticalScrollBar(), &QScrollBar::valueChanged, this, &FindBar::highlight);
}

bool FindBar::findNext() {
    return find(text_.textCursor(), false);
}

bool FindBar::findPrevious() {
    return find(text_.textCursor(), true);
}

void FindBar::refresh() {
    highlight();
}

bool FindBar::surelyMissing(const QString& pattern) const {
    return !missing_.isEmpty() && pattern.contains(missing_, Qt::CaseInsensitive);
}

bool FindBar::find(QTextCursor from, bool backward) {
    const QString pattern = field_->text();
    if (pattern.isEmpty() || surelyMissing(pattern)) {
        status_->setText(pattern.isEmpty() ? QString() : tr("Not found"));
        return false;
    }
    const int start = backward ? from.selectionStart() : from.selectionEnd();
    QTextCursor found = search_->find(pattern, start, backward);
    if (found.isNull() && backward) {  // round the end
        found = search_->find(pattern, text_.document()->characterCount() - 1, true);
    } else if (found.isNull()) {  // round the start, up to where this search began
        found = search_->find(pattern, 0, false, start + static_cast<int>(pattern.size()) - 1);
    }
    status_->setText(found.isNull() ? tr("Not found") : QString());
    if (found.isNull()) {
        missing_ = pattern;
        return false;
    }
    text_.setTextCursor(found);
    text_.ensureCursorVisible();
    return true;
}

void FindBar::patternChanged() {
    // Incremental: the search starts again where the current match starts.
    QTextCursor from = text_.textCursor();
    from.setPosition(from.selectionStart());
    if (!find(from, false)) {
        QTextCursor none = text_.textCursor();
        none.clearSelection();
        text_.setTextCursor(none);
    }
    highlight();
}

void FindBar::highlight() {
    highlights_.clear();
    const QString pattern = field_->text();
    if (!pattern.isEmpty() && !surelyMissing(pattern)) {
        QTextCharFormat marked;
        marked.setBackground(QColor(255, 230, 90));
        const QWidget* view = text_.viewport();
        const int top = text_.cursorForPosition(QPoint(0, 0)).position();
        const int bottom =
            text_.cursorForPosition(QPoint(view->width(), view->height())).position();
        // Matches that begin above the view may reach into it; none that begin below can.
        int from = std::max(0, top - static_cast<int>(pattern.size()));
        const int to = bottom + static_cast<int>(pattern.size());
        for (;;) {
            const QTextCursor at = search_->find(pattern, from, false, to);
            if (at.isNull()) {
                break;
            }
            highlights_.append({at, marked});
            from = at.selectionEnd();
        }
    }
    text_.setExtraSelections(highlights_);
}

}  // namespace corvaline::ui
