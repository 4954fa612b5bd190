#include "ui/format/ScreenPoints.h"

#include <QFontInfo>

namespace corvaline::ui {

QFont withScreenPoints(QFont font, int points) {
    font.setPixelSize(points);
    return font;
}

int screenPoints(const QFont& font) {
    return font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
}

}  // namespace corvaline::ui
