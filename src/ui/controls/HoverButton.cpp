#include "ui/controls/HoverButton.h"

namespace corvaline::ui {

void HoverButton::setIcons(const QIcon& original, const QIcon& alternate) {
    original_ = original;
    alternate_ = alternate;
    setIcon(underMouse() ? alternate_ : original_);
}

void HoverButton::enterEvent(QEnterEvent* event) {
    QToolButton::enterEvent(event);
    setIcon(alternate_);
}

void HoverButton::leaveEvent(QEvent* event) {
    QToolButton::leaveEvent(event);
    setIcon(original_);
}

}  // namespace corvaline::ui
