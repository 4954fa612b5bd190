#pragma once

#include <QFont>

namespace corvaline::ui {

// The text sizes this program keeps ("fontSize", the transfer item's) are screen points: one
// point is one device-independent pixel, as on the desktop they were first made for. Qt's
// points are 1/72 inch, a third larger on a 96 dpi screen, so these sizes become pixel sizes,
// and texts keep their proportion to the items and margins measured in the same points.
// GUI thread.

// `font` at `points` screen points.
QFont withScreenPoints(QFont font, int points);
// The size of `font` in screen points, whether it was given in pixels or in Qt's points.
int screenPoints(const QFont& font);

}  // namespace corvaline::ui
