#pragma once

#include <QString>
#include <QStringList>

namespace corvaline::ui {

// The longest piece of text one message carries, in UTF-16 code units.
inline constexpr qsizetype kMessagePieceSize = 10000;

// Cuts `text` from its start into pieces of at most `pieceSize` units, in order. A cut never
// falls between the two halves of a surrogate pair: that piece ends one unit early, so an
// emoji arrives whole in the next message. An empty text gives no piece. Any thread.
QStringList messagePieces(const QString& text, qsizetype pieceSize = kMessagePieceSize);

}  // namespace corvaline::ui
