#include "ui/conversation/MessagePieces.h"

namespace corvaline::ui {

QStringList messagePieces(const QString& text, qsizetype pieceSize) {
    QStringList pieces;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = std::min(start + pieceSize, text.size());
        if (end < text.size() && end - start > 1 && text.at(end - 1).isHighSurrogate() &&
            text.at(end).isLowSurrogate()) {
            --end;
        }
        pieces.append(text.mid(start, end - start));
        start = end;
    }
    return pieces;
}

}  // namespace corvaline::ui
