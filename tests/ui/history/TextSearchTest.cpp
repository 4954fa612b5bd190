#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include "ui/history/TextSearch.h"

namespace corvaline::ui {
namespace {

// Paragraphs, a line break within one, a no-break space, a table (frames) and an image: every
// kind of position a history holds.
void fill(QTextDocument& document) {
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Apple pie and apples"));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("banana%1split").arg(QChar(QChar::LineSeparator)));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("two%1words, APPLE").arg(QChar(QChar::Nbsp)));
    QTextTable* table = cursor.insertTable(1, 2);
    table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("cell apple"));
    table->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("pie"));
    cursor.movePosition(QTextCursor::End);
    cursor.insertImage(QStringLiteral("icon"));
    cursor.insertText(QStringLiteral(" last apple, ÄPFEL ΣΟΦΟΣ σοφός \U0001D400 \U00010400"));
}

// Every pattern from every position, both ways, against the document's own search.
void expectTheDocumentsOwnResults(QTextDocument& document, TextSearch& search) {
    const QStringList patterns = {"apple", "APPLES", "p",          "two words", "a\u2029b",
                                  "pie",   "e p",    "e and a",    "s, ap",     "kiwi",
                                  "split", "\ufffc", "na\u2028s",  "le pie a",  "äpfel",
                                  "σοφοσ", "ΣΟΦΌΣ",  "\U00010428", "\U0001D400"};
    const int end = document.characterCount() - 1;
    for (const QString& pattern : patterns) {
        for (const bool backward : {false, true}) {
            const auto flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
            for (int from = 0; from <= end; ++from) {
                const QTextCursor expected = document.find(pattern, from, flags);
                const QTextCursor found = search.find(pattern, from, backward);
                ASSERT_EQ(found.isNull(), expected.isNull())
                    << pattern.toStdString() << " from " << from << (backward ? " back" : "");
                if (!expected.isNull()) {
                    EXPECT_EQ(found.selectionStart(), expected.selectionStart());
                    EXPECT_EQ(found.selectionEnd(), expected.selectionEnd());
                }
            }
        }
    }
}

TEST(TextSearch, FindsWhatTheDocumentsOwnSearchFindsFromEveryPosition) {
    QTextDocument document;
    fill(document);
    TextSearch search(document);
    expectTheDocumentsOwnResults(document, search);
}

TEST(TextSearch, FollowsTheChangesOfTheDocumentAsTheyAreMade) {
    QTextDocument document(QStringLiteral("loading…"));
    TextSearch search(document);
    EXPECT_TRUE(search.find("apple", 0, false).isNull());
    document.clear();
    fill(document);  // piece by piece, after the first search
    expectTheDocumentsOwnResults(document, search);
    QTextCursor top(&document);
    top.insertText(QStringLiteral("Kiwi on top"));
    top.insertBlock();
    QTextCursor word(&document);
    word.setPosition(4);
    word.setPosition(12, QTextCursor::KeepAnchor);  // across the paragraph end
    word.removeSelectedText();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCursor(document.findBlockByNumber(1)).mergeBlockCharFormat(bold);
    expectTheDocumentsOwnResults(document, search);
    EXPECT_FALSE(search.find("kiwiapple", 0, false).isNull());
}

TEST(TextSearch, AForwardSearchCountsOnlyMatchesThatEndByItsEnd) {
    QTextDocument document(QStringLiteral("apple pie, apple tart"));
    TextSearch search(document);
    EXPECT_EQ(search.find("apple", 1, false, 16).selectionStart(), 11);
    EXPECT_TRUE(search.find("apple", 1, false, 15).isNull());
    EXPECT_TRUE(search.find("apple", 12, false, 10).isNull());
    EXPECT_EQ(search.find("apple", 0, false, -1).selectionStart(), 0);
}

TEST(TextSearch, SeesTheTextAddedAfterTheLastSearch) {
    QTextDocument document(QStringLiteral("first"));
    TextSearch search(document);
    EXPECT_TRUE(search.find("kiwi", 0, false).isNull());
    QTextCursor(&document).insertText(QStringLiteral("kiwi "));
    const QTextCursor found = search.find("kiwi", 0, false);
    ASSERT_FALSE(found.isNull());
    EXPECT_EQ(found.selectedText(), "kiwi");
}

}  // namespace
}  // namespace corvaline::ui
