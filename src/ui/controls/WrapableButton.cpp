#include "ui/controls/WrapableButton.h"

#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionButton>

namespace corvaline::ui {

WrapableButton::WrapableButton(const QString& title, QWidget* parent) : QPushButton(parent) {
    setTitle(title);
}

void WrapableButton::setTitle(const QString& title) {
    title_ = title;
    recalculateTitle();
}

QString WrapableButton::wrappedTitle(const QString& title, int available,
                                     const std::function<int(const QString&)>& width) {
    QString wrapped;
    int line = 0;
    const QStringList words = QString(title)
                                  .replace(QLatin1Char('\n'), QLatin1Char(' '))
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (wrapped.isEmpty()) {
            wrapped = word;
            line = width(word);
            continue;
        }
        line += width(QLatin1Char(' ') + word);
        if (line > available) {
            wrapped += QLatin1Char('\n') + word;
            line = width(word);
        } else {
            wrapped += QLatin1Char(' ') + word;
        }
    }
    return wrapped;
}

void WrapableButton::recalculateTitle() {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int available = contents.width() - 2 * style()->pixelMetric(QStyle::PM_ButtonMargin);
    const QFontMetrics metrics(font());
    const QString wrapped = wrappedTitle(
        title_, available, [&](const QString& text) { return metrics.horizontalAdvance(text); });
    if (wrapped != text()) {
        setText(wrapped);
    }
}

void WrapableButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) {
        recalculateTitle();
    }
}

}  // namespace corvaline::ui
