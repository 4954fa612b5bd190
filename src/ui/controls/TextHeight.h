#pragma once

#include <QtGlobal>

class QTextEdit;

namespace corvaline::ui {

// The height the view's text needs when laid out `width` wide and unbounded in height, with
// the view's own document margin, measured on a copy so the view's layout is left alone.
// GUI thread.
qreal textHeightForWidth(const QTextEdit& view, qreal width);

}  // namespace corvaline::ui
