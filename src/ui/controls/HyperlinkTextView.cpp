#include "ui/controls/HyperlinkTextView.h"

#include <QDesktopServices>

namespace corvaline::ui {

HyperlinkTextView::HyperlinkTextView(QWidget* parent)
    : QTextBrowser(parent), openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setOpenLinks(false);  // the view never follows a link itself
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (openUrl_) {
            openUrl_(url);
        }
    });
}

}  // namespace corvaline::ui
