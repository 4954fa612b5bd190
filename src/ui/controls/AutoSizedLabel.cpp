#include "ui/controls/AutoSizedLabel.h"

#include <QResizeEvent>

namespace corvaline::ui {

AutoSizedLabel::AutoSizedLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

QSize AutoSizedLabel::sizeHint() const {
    const QSize base = QLabel::sizeHint();
    return width() > 0 ? QSize(width(), heightForWidth(width())) : base;
}

void AutoSizedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) {
        updateGeometry();  // the wrapped height changed with the width
    }
}

}  // namespace corvaline::ui
