#include "ui/history/HistoryBlocks.h"

#include <QApplication>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "ui/format/ByteCounts.h"
#include "ui/format/DateText.h"

namespace corvaline::ui {
namespace {

constexpr qreal kPadding = 5.0;

QString tr(const char* text) {
    return QCoreApplication::translate("HistoryViewer", text);
}

QString timeText(const LogEntry& entry) {
    return DateText::formatDate(entry.time(), true);
}

// Any one user of an incoming entry (or the author a chat line names), the local user for
// an outgoing one.
QString senderName(const LogEntry& entry) {
    if (!entry.incoming()) {
        auto* list = CoreServices::shared().userList;
        return list && list->me() ? QString::fromStdString(list->me()->name()) : QString();
    }
    const auto users = entry.user();
    return QString::fromStdString(users.empty() ? entry.originalSenderName()
                                                : users.front()->name());
}

QString direction(const LogEntry& entry) {
    const auto* message = dynamic_cast<const Message*>(&entry);
    if (message && message->mass()) {
        return entry.incoming() ? tr("Incoming Broadcast") : tr("Outgoing Broadcast");
    }
    return entry.incoming() ? tr("Incoming") : tr("Outgoing");
}

}  // namespace

HistoryBlocks::HistoryBlocks(QTextDocument& document)
    : document_(document), font_(QApplication::font()) {}

bool HistoryBlocks::isShown(const LogEntry& entry) {
    const auto* transfer = dynamic_cast<const FileTransfer*>(&entry);
    return !transfer || transfer->transferState() == FileTransfer::kComplete;
}

void HistoryBlocks::clear() {
    document_.clear();
    empty_ = true;
}

int HistoryBlocks::prepend(const std::vector<std::shared_ptr<LogEntry>>& newestFirst) {
    if (empty_) {
        return append(newestFirst);
    }
    int shown = 0;
    for (const auto& entry : newestFirst) {
        shown += isShown(*entry);
    }
    if (shown == 0) {
        return 0;
    }
    // An empty line of its own on top, the blocks already there untouched below it; the
    // oldest of the new blocks meets the block that was on top.
    QTextCursor top(&document_);
    top.beginEditBlock();
    top.insertBlock(top.blockFormat(), top.charFormat());
    top.setPosition(0);
    const bool firstShade = (shown % 2 == 0) ? topShade_ : !topShade_;
    write(top, newestFirst, firstShade, false);
    top.insertBlock(QTextBlockFormat());  // the empty line between the old and the new
    top.endEditBlock();
    topShade_ = firstShade;
    return shown;
}

int HistoryBlocks::append(const std::vector<std::shared_ptr<LogEntry>>& newestFirst) {
    QTextCursor end(&document_);
    end.movePosition(QTextCursor::End);
    const bool firstShade = empty_ ? true : !bottomShade_;
    end.beginEditBlock();  // one change for the layout, not one per line
    const int shown = write(end, newestFirst, firstShade, !empty_);
    end.endEditBlock();
    if (shown > 0) {
        if (empty_) {
            topShade_ = firstShade;
        }
        bottomShade_ = (shown % 2 == 1) ? firstShade : !firstShade;
        empty_ = false;
    }
    return shown;
}

int HistoryBlocks::write(QTextCursor& cursor,
                         const std::vector<std::shared_ptr<LogEntry>>& newestFirst, bool firstShade,
                         bool afterBlocks) {
    int shown = 0;
    bool shade = firstShade;
    for (const auto& entry : newestFirst) {
        if (!isShown(*entry)) {
            continue;
        }
        if (afterBlocks || shown > 0) {
            cursor.insertBlock(QTextBlockFormat());  // the empty line that ends an entry
            cursor.insertBlock(QTextBlockFormat());
        }
        writeEntry(cursor, *entry, shade);
        shade = !shade;
        ++shown;
    }
    return shown;
}

void HistoryBlocks::writeEntry(QTextCursor& cursor, const LogEntry& entry, bool shade) {
    const QPalette palette = QApplication::palette();
    QTextBlockFormat block;
    block.setBackground(shade ? palette.alternateBase() : palette.base());
    block.setLeftMargin(kPadding);
    block.setRightMargin(kPadding);
    cursor.setBlockFormat(block);
    QTextCursor& cell = cursor;

    QTextCharFormat header;
    header.setFont(font_);
    header.setForeground(Qt::gray);
    QTextCharFormat body;
    body.setFont(font_);
    body.setForeground(palette.text());

    const auto* message = dynamic_cast<const Message*>(&entry);
    const auto* transfer = dynamic_cast<const FileTransfer*>(&entry);
    if (!message && !transfer) {
        const auto* line = dynamic_cast<const SystemMessage*>(&entry);
        cell.insertText(QStringLiteral("%1 - %2").arg(
                            timeText(entry), QString::fromStdString(line ? line->text() : "")),
                        header);
    } else {
        cell.insertText(QStringLiteral("%1 (%2) %3:\n")
                            .arg(timeText(entry), direction(entry), senderName(entry)),
                        header);
        if (message) {
            cell.insertText(QString::fromStdString(message->message()), body);
        } else {
            const auto files = transfer->filesNumber();
            cell.insertText(QStringLiteral("%1 %2 (%3)\n")
                                .arg(files)
                                .arg(files <= 1 ? tr("file") : tr("files"),
                                     byteCountText(transfer->filesTotalSize())),
                            body);
            QTextCharFormat link = body;
            link.setAnchor(true);
            link.setAnchorHref(
                QUrl::fromLocalFile(QString::fromStdString(transfer->folderPath())).toString());
            link.setForeground(palette.link());
            link.setFontUnderline(true);
            cell.insertText(tr("Open Folder"), link);
        }
    }
}

}  // namespace corvaline::ui
