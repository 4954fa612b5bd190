#include "ui/history/FindBar.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocument>
#include <QToolButton>

namespace corvaline::ui {
namespace {

constexpr int kMostHighlights = 2000;

}  // namespace

FindBar::FindBar(QTextEdit& text, QWidget* parent)
    : QWidget(parent), text_(text), field_(new QLineEdit), status_(new QLabel) {
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

bool FindBar::find(QTextCursor from, bool backward) {
    const QString pattern = field_->text();
    if (pattern.isEmpty()) {
        return false;
    }
    const auto flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextCursor found = text_.document()->find(pattern, from, flags);
    if (found.isNull()) {  // round the end
        QTextCursor edge(text_.document());
        edge.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        found = text_.document()->find(pattern, edge, flags);
    }
    status_->setText(found.isNull() ? tr("Not found") : QString());
    if (found.isNull()) {
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
    if (!pattern.isEmpty()) {
        QTextCharFormat marked;
        marked.setBackground(QColor(255, 230, 90));
        QTextCursor at(text_.document());
        while (highlights_.size() < kMostHighlights) {
            at = text_.document()->find(pattern, at);
            if (at.isNull()) {
                break;
            }
            highlights_.append({at, marked});
        }
    }
    text_.setExtraSelections(highlights_);
}

}  // namespace corvaline::ui
