#include "ui/conversation/LinkedText.h"

#include <QRegularExpression>
#include <QTextCursor>
#include <QUrl>

namespace corvaline::ui {

void insertLinkedText(QTextCursor& cursor, const QString& text, const QTextCharFormat& format) {
    static const QRegularExpression address(QStringLiteral(R"((?:https?://|mailto:)[^\s<>"]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    // Closing punctuation after an address usually ends the sentence, not the address.
    static const QString trailing = QStringLiteral(".,;:!?)]}'");
    qsizetype done = 0;
    auto found = address.globalMatch(text);
    while (found.hasNext()) {
        const auto match = found.next();
        qsizetype length = match.capturedLength();
        while (length > 0 && trailing.contains(text.at(match.capturedStart() + length - 1))) {
            --length;
        }
        const QString link = text.mid(match.capturedStart(), length);
        const QUrl url(link, QUrl::StrictMode);
        const bool mail = url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0;
        if (!url.isValid() || (mail ? url.path().isEmpty() : url.host().isEmpty())) {
            continue;
        }
        cursor.insertText(text.mid(done, match.capturedStart() - done), format);
        QTextCharFormat linked = format;
        linked.setAnchor(true);
        linked.setAnchorHref(url.toString(QUrl::FullyEncoded));
        linked.setForeground(Qt::blue);
        linked.setFontUnderline(true);
        cursor.insertText(link, linked);
        done = match.capturedStart() + length;
    }
    cursor.insertText(text.mid(done), format);
}

}  // namespace corvaline::ui
