#include "ui/conversation/MessageWindowController.h"

#include <QApplication>
#include <QSplitter>
#include <QVBoxLayout>

#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/format/ScreenPoints.h"

namespace corvaline::ui {

MessageWindowController::MessageWindowController(QWidget* parent)
    : QWidget(parent, Qt::Window), split_(new QSplitter(Qt::Horizontal, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split_);
    readFont();
    fontSize_ = UserDefaults::standard().observe(defaults::kFontSize, [this] {
        readFont();
        fontUpdated();
    });
}

void MessageWindowController::readFont() {
    textFont_ = QApplication::font();
    const auto size = UserDefaults::standard().integerForKey(defaults::kFontSize);
    if (size > 0) {
        textFont_ = withScreenPoints(textFont_, int(size));
    }
}

QWidget* MessageWindowController::rightPane() const {
    return split_->count() > 0 ? split_->widget(split_->count() - 1) : nullptr;
}

void MessageWindowController::toggleRightPane(bool atOnce) {
    QWidget* pane = rightPane();
    if (!pane) {
        return;
    }
    if (!pane->isHidden()) {
        // A window not yet on screen has not laid its panes out: the pane's own wish counts.
        rightWidth_ = pane->isVisible() ? pane->width() : pane->sizeHint().width();
        const int narrower = width() - rightWidth_ - split_->handleWidth();
        pane->hide();
        if (!atOnce) {
            resize(std::max(narrower, minimumSizeHint().width()), height());
        }
        return;
    }
    const int left = split_->width() - split_->handleWidth();
    pane->show();
    resize(width() + rightWidth_, height());
    split_->setSizes({std::max(left, 0), rightWidth_});
}

}  // namespace corvaline::ui
