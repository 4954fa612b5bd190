#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QTextEdit>

#include "ui/controls/TextHeight.h"

namespace corvaline::ui {
namespace {

TEST(TextHeightTest, GrowsWithWrappedLinesAndLeavesTheViewAlone) {
    QTextEdit view;
    view.document()->setDocumentMargin(4.0);
    view.setPlainText(QStringLiteral("one line"));
    const qreal line = QFontMetricsF(view.document()->defaultFont()).lineSpacing();
    const qreal oneLine = textHeightForWidth(view, 400.0);
    EXPECT_NEAR(oneLine, line + 2 * 4.0, 2.0);

    view.setPlainText(QStringLiteral("first\nsecond\nthird"));
    EXPECT_NEAR(textHeightForWidth(view, 400.0), 3 * line + 2 * 4.0, 3.0);

    view.setPlainText(QString(60, QChar('w')).replace(QStringLiteral("ww"), QStringLiteral("w ")));
    const qreal wide = textHeightForWidth(view, 2000.0);
    const qreal narrow = textHeightForWidth(view, 60.0);
    EXPECT_GT(narrow, 3 * wide);

    const qreal ownWidth = view.document()->textWidth();
    textHeightForWidth(view, 10.0);
    EXPECT_EQ(view.document()->textWidth(), ownWidth);
}

}  // namespace
}  // namespace corvaline::ui
