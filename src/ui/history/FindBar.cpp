#include "ui/history/FindBar.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocument>
#include <QToolButton>

#include "ui/history/TextSearch.h"

namespace corvaline::ui {
namespace {

constexpr int kMostHighlights = 2000;

}  // namespace

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
    QTextCursor found =
        search_->find(pattern, backward ? from.selectionStart() : from.selectionEnd(), backward);
    if (found.isNull()) {  // round the end
        const int edge = backward ? text_.document()->characterCount() - 1 : 0;
        found = search_->find(pattern, edge, backward);
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
    highlight();
    // Incremental: the search starts again where the current match starts. Nothing
    // highlighted means nothing to find: a long text is passed over once, not three times.
    QTextCursor from = text_.textCursor();
    from.setPosition(from.selectionStart());
    if (highlights_.isEmpty() || !find(from, false)) {
        QTextCursor none = text_.textCursor();
        none.clearSelection();
        text_.setTextCursor(none);
        status_->setText(field_->text().isEmpty() ? QString() : tr("Not found"));
    }
}

void FindBar::highlight() {
    highlights_.clear();
    const QString pattern = field_->text();
    if (!pattern.isEmpty()) {
        QTextCharFormat marked;
        marked.setBackground(QColor(255, 230, 90));
        int from = 0;
        while (highlights_.size() < kMostHighlights) {
            const QTextCursor at = search_->find(pattern, from, false);
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
