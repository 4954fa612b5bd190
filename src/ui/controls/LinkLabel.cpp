#include "ui/controls/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace corvaline::ui {

LinkLabel::LinkLabel(QWidget* parent)
    : QLabel(parent), openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
    applyLook();
}

void LinkLabel::setUrl(const QUrl& url) {
    url_ = url;
    setToolTip(url.toString());
    applyLook();
}

QRect LinkLabel::trackingRect() const {
    const QFontMetrics metrics(font());
    const int w = metrics.horizontalAdvance(text()) + 6;
    if (width() > w) {
        return QRect((width() - w) / 2, 0, w, metrics.height());
    }
    return rect();
}

void LinkLabel::applyLook() {
    QPalette look = palette();
    const QColor colour = hovered_ ? QColor(Qt::red) : palette().color(QPalette::Link);
    look.setColor(QPalette::WindowText, colour);
    setPalette(look);
    QFont face = font();
    face.setUnderline(hovered_);
    setFont(face);
}

void LinkLabel::setHovered(bool hovered) {
    if (hovered == hovered_) {
        return;
    }
    hovered_ = hovered;
    setCursor(hovered ? Qt::PointingHandCursor : Qt::ArrowCursor);
    applyLook();
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event) {
    setHovered(trackingRect().contains(event->position().toPoint()));
    QLabel::mouseMoveEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    setHovered(false);
    QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (url_.isEmpty() || event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    pressedInside_ = trackingRect().contains(event->position().toPoint());
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool pressedInside = std::exchange(pressedInside_, false);
    if (url_.isEmpty() || event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    if (pressedInside && trackingRect().contains(event->position().toPoint()) && openUrl_) {
        openUrl_(url_);
    }
}

}  // namespace corvaline::ui
