#pragma once

#include <QString>
#include <QTextCharFormat>

class QTextCursor;

namespace corvaline::ui {

// Inserts `text` as plain text in `format` at the cursor; every http, https or mailto address
// in it becomes a link to itself. Nothing else of the text is interpreted. GUI thread.
void insertLinkedText(QTextCursor& cursor, const QString& text, const QTextCharFormat& format);

}  // namespace corvaline::ui
