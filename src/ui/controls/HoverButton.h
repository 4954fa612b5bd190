#pragma once

#include <QIcon>
#include <QToolButton>

namespace corvaline::ui {

// A button that shows its alternate icon while the mouse is over it. GUI thread.
class HoverButton : public QToolButton {
    Q_OBJECT
  public:
    explicit HoverButton(QWidget* parent = nullptr) : QToolButton(parent) {}

    // The icon shown at rest and the one shown while hovered.
    void setIcons(const QIcon& original, const QIcon& alternate);

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QIcon original_;
    QIcon alternate_;
};

}  // namespace corvaline::ui
