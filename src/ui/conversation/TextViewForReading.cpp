#include "ui/conversation/TextViewForReading.h"

namespace corvaline::ui {

TextViewForReading::TextViewForReading(QWidget* parent) : QTextBrowser(parent) {
    setReadOnly(true);
    setOpenLinks(true);
    setOpenExternalLinks(true);  // no link ever navigates the history text itself
    setUndoRedoEnabled(false);
    // 9 points of inset above and below, the lines then moved 5 points up.
    setViewportMargins(0, 4, 0, 9);
}

}  // namespace corvaline::ui
