#pragma once

#include <QPushButton>
#include <functional>

namespace corvaline::ui {

// A push button whose title is word-wrapped to its width by inserted line breaks. GUI thread.
class WrapableButton : public QPushButton {
    Q_OBJECT
  public:
    explicit WrapableButton(const QString& title, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    const QString& title() const { return title_; }

    // The title broken into lines no wider than `available`: words are kept whole, a word that
    // overflows the line starts the next one (the first word never gets an empty line above
    // it). `width` measures a text.
    static QString wrappedTitle(const QString& title, int available,
                                const std::function<int(const QString&)>& width);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void recalculateTitle();

    QString title_;
};

}  // namespace corvaline::ui
