#pragma once

#include <QTextBrowser>

namespace corvaline::ui {

// The read-only history text of a conversation: a little room above and below the lines, and
// links (only those the program made) open in the desktop's handler. GUI thread.
class TextViewForReading : public QTextBrowser {
    Q_OBJECT
  public:
    explicit TextViewForReading(QWidget* parent = nullptr);
};

}  // namespace corvaline::ui
