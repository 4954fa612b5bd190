#include "ui/history/PrintedPages.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPaintDevice>
#include <QPainter>
#include <QTextDocument>
#include <QTextFrame>
#include <algorithm>

#include "ui/format/DateText.h"

namespace corvaline::ui {

namespace {

// The header and footer: small print, well inside margins of 20 points.
constexpr qreal kHeaderPoints = 8.0;

}  // namespace

PrintedPages::PrintedPages(const QTextDocument& text, QPaintDevice& device,
                           const QPageLayout& layout, const QString& title,
                           const QDateTime& printedAt)
    : text_(text.clone()),
      device_(device),
      paper_(layout.fullRectPixels(device.logicalDpiX())),
      body_(paper_.marginsRemoved(layout.marginsPixels(device.logicalDpiX()).toMarginsF())),
      title_(title),
      printedAt_(DateText::format(printedAt, true)) {
    // The margins are the layout's alone: the copy adds none of its own.
    text_->setDocumentMargin(0.0);
    text_->documentLayout()->setPaintDevice(&device);
    text_->setPageSize(body_.size());
    headerFont_.setPointSizeF(kHeaderPoints);
}

PrintedPages::~PrintedPages() = default;

int PrintedPages::count() const {
    return text_->pageCount();
}

void PrintedPages::paint(QPainter& painter, int index) const {
    painter.save();
    const QRectF shown(0.0, index * body_.height(), body_.width(), body_.height());
    painter.translate(body_.left(), body_.top() - shown.top());
    painter.setClipRect(shown);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = shown;
    context.palette.setColor(QPalette::Text, Qt::black);  // whatever the desktop's colours
    text_->documentLayout()->draw(&painter, context);
    painter.restore();

    painter.save();
    const QFont font(headerFont_, &device_);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QRectF header(body_.left(), paper_.top(), body_.width(), body_.top() - paper_.top());
    const QRectF footer(body_.left(), body_.bottom(), body_.width(),
                        paper_.bottom() - body_.bottom());
    const QFontMetricsF metrics(font, &device_);
    const qreal dateWidth = metrics.horizontalAdvance(printedAt_);
    const qreal gap = metrics.horizontalAdvance(QStringLiteral("    "));
    // The name comes from the network: drawn as plain text, cut short before the date.
    const QString title =
        metrics.elidedText(title_, Qt::ElideRight, std::max(0.0, body_.width() - dateWidth - gap));
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
    painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, printedAt_);
    painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                     tr("Page %1 of %2").arg(index + 1).arg(count()));
    painter.restore();
}

}  // namespace corvaline::ui
