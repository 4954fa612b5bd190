#pragma once

#include <QLabel>

namespace corvaline::ui {

// A word-wrapped label that asks for the height its text needs at its current width, so that
// a layout grows it to the wrapped text. GUI thread.
class AutoSizedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit AutoSizedLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace corvaline::ui
