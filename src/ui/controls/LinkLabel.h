#pragma once

#include <QLabel>
#include <QUrl>
#include <functional>

namespace corvaline::ui {

// A text that acts as a hyperlink: link-coloured, red and underlined while the mouse is over
// its text, with the pointing hand there; a click that starts and ends on the text opens the
// link. GUI thread.
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit LinkLabel(QWidget* parent = nullptr);

    void setUrl(const QUrl& url);
    const QUrl& url() const { return url_; }
    // Opens with the desktop's handler unless told otherwise (tests).
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }
    // The part of the label the link answers in: the text and 3 pixels either side,
    // centred, or the whole label when the text fills it.
    QRect trackingRect() const;
    bool hovered() const { return hovered_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void setHovered(bool hovered);
    void applyLook();

    QUrl url_;
    UrlOpener openUrl_;
    bool hovered_ = false;
    bool pressedInside_ = false;
};

}  // namespace corvaline::ui
