#include "ui/history/PrintedPages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

#include "support/TempFolder.h"
#include "ui/history/HistoryViewer.h"
#include "ui/history/PrintingTextView.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::HistoryViewer;
using ui::PrintedPages;

// Margins of 10 points left and right and 20 points top and bottom.
const QMarginsF kMargins(10.0, 20.0, 10.0, 20.0);

class PrintedPagesTest : public ConversationTest {
  protected:
    // Ann's history of `count` messages in a history window.
    HistoryViewer* history(int count) {
        for (int at = 0; at < count; ++at) {
            addMessage(*ann_, "message number " + std::to_string(at), true, count - at);
        }
        auto* window = HistoryViewer::initAndShow(ann_.get());
        run(0.01);
        processEvents();
        return window;
    }
};

// The extent of the pixels of `image` within `area` that are darker than `limit`.
QRect inkIn(const QImage& image, const QRect& area, int limit) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < limit) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

TEST_F(PrintedPagesTest, TheTextFillsThePageWithinItsMarginsUnderAHeaderAndAboveThePageNumber) {
    auto* window = history(40);
    // A small page at 144 dots per inch: a point is two pixels.
    const QPageLayout layout(QPageSize(QPageSize::A6), QPageLayout::Portrait, kMargins,
                             QPageLayout::Point);
    const QSize paper = layout.fullRectPixels(144).size();
    QImage page(paper, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(144 / 0.0254));
    page.setDotsPerMeterY(qRound(144 / 0.0254));
    const PrintedPages pages(*window->textView()->document(), page, layout, QStringLiteral("Ann"),
                             QDateTime::currentDateTime());
    ASSERT_GE(pages.count(), 2);
    EXPECT_EQ(pages.body(), QRectF(20, 40, paper.width() - 40, paper.height() - 80));

    for (const int index : {0, pages.count() - 1}) {
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            pages.paint(painter, index);
        }
        const QRect body(20, 40, paper.width() - 40, paper.height() - 80);
        // Anything drawn, the entries' shades too: nothing left or right of the margins.
        const QRect drawn = inkIn(page, page.rect(), 255);
        EXPECT_GE(drawn.left(), body.left()) << index;
        EXPECT_LE(drawn.right(), body.right()) << index;
        // The entries start at the margin: their shade, or their text after the 5 points of
        // padding (and no second margin of 2 cm inside it).
        const QRect text = inkIn(page, body, 255);
        ASSERT_TRUE(text.isValid()) << index;
        EXPECT_LE(text.left(), body.left() + 10 + 4) << index;
        EXPECT_LE(text.top(), body.top() + 10 + 4) << index;
        // The header and the page number in the top and bottom margins.
        const QRect header = inkIn(page, QRect(0, 0, paper.width(), body.top()), 128);
        const QRect footer = inkIn(
            page, QRect(0, body.bottom() + 1, paper.width(), paper.height() - body.bottom() - 1),
            128);
        EXPECT_TRUE(header.isValid()) << index;
        EXPECT_TRUE(footer.isValid()) << index;
        // The job's name on the left and the time on the right; the number in the middle.
        EXPECT_LT(header.left(), body.left() + 4) << index;
        EXPECT_GT(header.right(), body.right() - 4) << index;
        EXPECT_NEAR(footer.center().x(), body.center().x(), 4) << index;
    }
}

TEST_F(PrintedPagesTest, PrintingWritesEveryPageWithTheMargins) {
    auto* window = history(40);
    TempFolder folder;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A6));
    const QString path = QString::fromStdString((folder.path() / "history.pdf").string());
    printer.setOutputFileName(path);
    window->textView()->printTo(printer);
    EXPECT_EQ(printer.pageLayout().margins(QPageLayout::Point), kMargins);

    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray written = pdf.readAll();
    ASSERT_TRUE(written.startsWith("%PDF"));
    // As many pages as the same text has with these margins, not the more that a second
    // margin inside them would need.
    const PrintedPages pages(*window->textView()->document(), printer, printer.pageLayout(),
                             QString(), QDateTime());
    const auto pageObjects = QString::fromLatin1(written).count(
        QRegularExpression(QStringLiteral("/Type\\s*/Page\\b(?!s)")));
    EXPECT_EQ(pageObjects, pages.count());
    EXPECT_GE(pages.count(), 2);
}

}  // namespace
}  // namespace corvaline::testing
