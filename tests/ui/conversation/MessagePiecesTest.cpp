#include "ui/conversation/MessagePieces.h"

#include <gtest/gtest.h>

namespace corvaline::ui {
namespace {

TEST(MessagePiecesTest, CutsIntoPiecesOfTenThousandUnitsInOrder) {
    const struct {
        qsizetype length;
        std::vector<qsizetype> pieces;
    } cases[] = {
        {0, {}}, {1, {1}}, {10000, {10000}}, {10001, {10000, 1}}, {25000, {10000, 10000, 5000}},
    };
    for (const auto& c : cases) {
        QString text;
        for (qsizetype at = 0; at < c.length; ++at) {
            text += QChar(char16_t(u'a' + at % 26));
        }
        const auto pieces = messagePieces(text);
        ASSERT_EQ(pieces.size(), qsizetype(c.pieces.size())) << c.length;
        for (qsizetype at = 0; at < pieces.size(); ++at) {
            EXPECT_EQ(pieces[at].size(), c.pieces[at]) << c.length;
        }
        EXPECT_EQ(pieces.join(QString()), text);
    }
}

TEST(MessagePiecesTest, NeverCutsASurrogatePair) {
    const QString emoji = QString::fromUcs4(U"\U0001F44D");
    // The pair would straddle the boundary: units 9999 and 10000.
    const QString text = QString(9999, u'a') + emoji + QStringLiteral("b");
    const auto pieces = messagePieces(text);
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(pieces[0], QString(9999, u'a'));
    EXPECT_EQ(pieces[1], emoji + QStringLiteral("b"));

    // A pair that ends exactly at the boundary stays in the first piece.
    const QString ending = QString(9998, u'a') + emoji + QStringLiteral("b");
    EXPECT_EQ(messagePieces(ending).front().size(), 10000);
}

}  // namespace
}  // namespace corvaline::ui
