#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>

#include "ui/controls/LinkLabel.h"
#include "ui/controls/PaddedTextDelegate.h"
#include "ui/controls/WrapableButton.h"

namespace corvaline::ui {
namespace {

TEST(LinkLabelTest, OnlyAClickStartingAndEndingOnTheTextOpensTheLink) {
    LinkLabel link;
    link.setText(QStringLiteral("Getting help"));
    link.setUrl(QUrl(QStringLiteral("file:///usr/share/doc/corvaline/README.md")));
    link.resize(400, 40);
    link.show();
    std::vector<QUrl> opened;
    link.setUrlOpener([&](const QUrl& url) { opened.push_back(url); });

    const QRect text = link.trackingRect();
    ASSERT_LT(text.width(), link.width());
    EXPECT_EQ(text.x(), (link.width() - text.width()) / 2);  // centred on the text
    const QPoint inside = text.center();
    const QPoint outside(2, inside.y());
    const struct {
        QPoint press;
        QPoint release;
        bool opens;
    } cases[] = {{inside, outside, false}, {outside, inside, false}, {inside, inside, true}};
    for (const auto& c : cases) {
        opened.clear();
        QTest::mousePress(&link, Qt::LeftButton, {}, c.press);
        QTest::mouseRelease(&link, Qt::LeftButton, {}, c.release);
        EXPECT_EQ(opened.size(), c.opens ? 1u : 0u);
    }
    QTest::mouseMove(&link, inside);
    EXPECT_TRUE(link.hovered());
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(&link, outside);
    EXPECT_FALSE(link.hovered());
    EXPECT_FALSE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
}

TEST(WrapableButtonTest, WordsThatOverflowTheLineStartTheNext) {
    // Every character is 10 wide.
    const auto width = [](const QString& text) { return static_cast<int>(text.size()) * 10; };
    const struct {
        const char* title;
        int available;
        const char* wrapped;
    } cases[] = {
        {"Send file", 100, "Send file"},                        // fits on one line: unchanged
        {"Send files", 80, "Send\nfiles"},                      // the second word overflows
        {"Send\nfile", 100, "Send file"},                       // old breaks go first
        {"Extraordinarily long", 50, "Extraordinarily\nlong"},  // no empty first line
        {"a b c d", 30, "a b\nc d"},
        {"", 30, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WrapableButton::wrappedTitle(QString::fromLatin1(c.title), c.available, width),
                  QString::fromLatin1(c.wrapped))
            << c.title;
    }
}

TEST(PaddedTextDelegateTest, PaddingAndCentring) {
    PaddedTextDelegate cell;
    const QRect bounds(10, 20, 200, 40);
    EXPECT_EQ(cell.titleRectForBounds(bounds, 16), bounds);  // padding 0: as the base class
    cell.setPaddingRight(30);
    EXPECT_EQ(cell.titleRectForBounds(bounds, 16), QRect(10, 20, 170, 40));
    cell.setCentered(true);
    EXPECT_EQ(cell.titleRectForBounds(bounds, 16), QRect(10, 28, 200, 32));  // (40-16)/3 = 8
}

// The first and the last row of the image that hold ink.
std::pair<int, int> inkRows(const QImage& image) {
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

TEST(PaddedTextDelegateTest, CentredTextIsDrawnAThirdOfTheFreeHeightBelowTheTop) {
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), QStringLiteral("Hamburg"));
    QStyleOptionViewItem option;
    option.state = QStyle::State_Enabled;
    option.palette.setColor(QPalette::Text, Qt::black);
    option.font = QApplication::font();
    option.fontMetrics = QFontMetrics(option.font);
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;  // what a view asks for
    const int height = 60;
    const int textHeight = option.fontMetrics.height();
    const auto draw = [&](const QStyledItemDelegate& delegate, const QRect& rect) {
        QImage image(200, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem cell = option;
        cell.rect = rect;
        delegate.paint(&painter, cell, model.index(0, 0));
        return image;
    };

    PaddedTextDelegate centred;
    centred.setCentered(true);
    const QImage drawn = draw(centred, QRect(0, 0, 200, height));
    // The same text in a cell just its height, whose top is a third of the free height down.
    const QImage expected =
        draw(QStyledItemDelegate(), QRect(0, (height - textHeight) / 3, 200, textHeight));
    const auto [top, bottom] = inkRows(drawn);
    ASSERT_GE(top, 0) << "no text drawn";
    EXPECT_EQ(std::pair(top, bottom), inkRows(expected));
    EXPECT_TRUE(drawn == expected);
    EXPECT_LT(top + bottom, height - 1) << "the text's middle lies below the cell's";
}

}  // namespace
}  // namespace corvaline::ui
