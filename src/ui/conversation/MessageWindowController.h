#pragma once

#include <QFont>
#include <QWidget>

#include "platform/observers/ObservationToken.h"

class QSplitter;

namespace corvaline::ui {

// The base of the conversation and mass-message windows: the text font from "fontSize" (in
// screen points, ui/format/ScreenPoints.h) and
// the split view whose last pane (the right pane) can be shown and hidden. GUI thread.
class MessageWindowController : public QWidget {
    Q_OBJECT
  public:
    explicit MessageWindowController(QWidget* parent = nullptr);

    const QFont& textFont() const { return textFont_; }
    QSplitter* horisontalSplit() const { return split_; }
    QWidget* rightPane() const;

    // Hides a shown right pane, the window narrowing by its width (not at once) or keeping
    // its frame (at once); shows a hidden one, the window widening by the pane's width.
    void toggleRightPane(bool atOnce);

  protected:
    // A change of "fontSize" lands here after textFont() has followed it.
    virtual void fontUpdated() {}

  private:
    void readFont();

    QSplitter* split_;
    QFont textFont_;
    int rightWidth_ = 0;
    ObservationToken fontSize_;
};

}  // namespace corvaline::ui
