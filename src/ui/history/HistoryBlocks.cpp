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

// An entry is one shaded paragraph: the line breaks of its text stay breaks within it. Fewer,
// longer paragraphs keep the text's structures small enough to grow without a stall.
QString oneParagraph(const std::string& text) {
    QString lines = QString::fromStdString(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const QChar end : {QChar(u'\n'), QChar(u'\r'), QChar(QChar::ParagraphSeparator)}) {
        lines.replace(end, QChar(QChar::LineSeparator));
    }
    return lines;
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
    prepareFormats();
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
    cursor.setBlockFormat(formats_.block[shade ? 1 : 0]);
    const auto* message = dynamic_cast<const Message*>(&entry);
    const auto* transfer = dynamic_cast<const FileTransfer*>(&entry);
    if (!message && !transfer) {
        const auto* line = dynamic_cast<const SystemMessage*>(&entry);
        cursor.insertText(QStringLiteral("%1 - %2").arg(
                              timeText(entry), oneParagraph(line ? line->text() : std::string())),
                          formats_.header);
        return;
    }
    cursor.insertText(
        QStringLiteral("%1 (%2) %3:%4")
            .arg(timeText(entry), direction(entry), senderName(entry), QChar(QChar::LineSeparator)),
        formats_.header);
    if (message) {
        cursor.insertText(oneParagraph(message->message()), formats_.body);
        return;
    }
    const auto files = transfer->filesNumber();
    cursor.insertText(
        QStringLiteral("%1 %2 (%3)%4")
            .arg(files)
            .arg(files <= 1 ? tr("file") : tr("files"), byteCountText(transfer->filesTotalSize()),
                 QChar(QChar::LineSeparator)),
        formats_.body);
    QTextCharFormat link = formats_.link;
    link.setAnchorHref(
        QUrl::fromLocalFile(QString::fromStdString(transfer->folderPath())).toString());
    cursor.insertText(tr("Open Folder"), link);
}

void HistoryBlocks::prepareFormats() {
    const QPalette palette = QApplication::palette();
    for (int shade = 0; shade < 2; ++shade) {
        QTextBlockFormat& block = formats_.block[shade];
        block = QTextBlockFormat();
        block.setBackground(shade ? palette.alternateBase() : palette.base());
        block.setLeftMargin(kPadding);
        block.setRightMargin(kPadding);
    }
    formats_.header = QTextCharFormat();
    formats_.header.setFont(font_);
    formats_.header.setForeground(Qt::gray);
    formats_.body = QTextCharFormat();
    formats_.body.setFont(font_);
    formats_.body.setForeground(palette.text());
    formats_.link = formats_.body;
    formats_.link.setAnchor(true);
    formats_.link.setForeground(palette.link());
    formats_.link.setFontUnderline(true);
}

}  // namespace corvaline::ui
