#pragma once

#include <QTextBrowser>
#include <functional>

namespace corvaline::ui {

// A read-only text whose links act as hyperlinks: the pointing hand over them, and a click
// opens them with the desktop's handler. GUI thread.
class HyperlinkTextView : public QTextBrowser {
    Q_OBJECT
  public:
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit HyperlinkTextView(QWidget* parent = nullptr);
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

  private:
    UrlOpener openUrl_;
};

}  // namespace corvaline::ui
